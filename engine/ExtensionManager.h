#pragma once
// Back end of the Manage page: loads every registered extension with the applications that can
// open it, and changes the program of one verb. A change never edits a file type other
// extensions may share: the first change of an extension copies its current type to the
// program's own type "Kavendor<ext>.Filetype", points the user's choice at it and edits the copy.
#include <string>

#include "assoc/FileExtRegUtil.h"
#include "engine/EngineEnvironment.h"
#include "engine/ExtScanner.h"

class IExtensionMonitorLink;
class CDBManager;

// How a change of a verb's program ended.
enum class KVChangeResult {
    Changed,         // written; the record shows the new command
    InvalidRequest,  // no usable extension or verb name
    ProgramMissing,  // the command does not reach an existing program; nothing written
    BackupFailed,    // the undo file could not be written; nothing written
    WriteFailed,     // a registry write failed; what was written before stays (and is in the undo file)
};

// History line of a verb change.
inline constexpr const wchar_t* KV_HISTORY_ACTION_CHANGED =
    L"Action changed:  Kavendor changed the '%s' action for extension %s";

class CExtensionManager {
public:
    explicit CExtensionManager(CEngineEnvironment env = CEngineEnvironment::Production());
    virtual ~CExtensionManager() = default;

    // Adds a loaded record for every registered extension the map does not hold yet (executable
    // types such as .exe and .bat are never listed). Always true.
    bool LoadAll(ExtensionMap& map);
    // Reads one record afresh: its types, applications and category. Problem flags stay.
    bool LoadOne(CFileExtension& record);

    // Changes the command of one verb of the extension's current type (creating the program's own
    // type on the first change). pMonitor may be null. The outcome says why a change was refused;
    // pBackupPath receives the undo file of the change.
    bool ChangeAction(CFileExtension& record, const std::wstring& verb, const std::wstring& command,
                      IExtensionMonitorLink* pMonitor, KVChangeResult* pResult = nullptr,
                      std::wstring* pBackupPath = nullptr);

    // The steps of a change, in the order ChangeAction runs them.
    bool CreateOwnProgID(CFileExtension& record, const std::wstring& own);
    bool PointUserChoice(CFileExtension& record, const std::wstring& own);
    bool SetProgram(const std::wstring& verb, CFileExtension& record, const std::wstring& command);
    // Keeps the verb's current command as the value "KVBU"; false only when it exists and cannot be kept.
    bool BackupVerbCommand(const std::wstring& verb, const CFileExtension& record, const CFileExtRegUtil& util);

    // "Kavendor<ext>.Filetype".
    static std::wstring OwnProgID(const std::wstring& extension);

    CFileExtRegUtil m_regUtil;

private:
    void LoadRecord(CFileExtension& record, const CFileExtRegUtil& util, CDBManager* pDb);

    CEngineEnvironment m_env;
};
