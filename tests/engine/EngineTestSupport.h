#pragma once
// Shared set-up of the engine tests: a registry sandbox, a folder for the databases, dumps,
// undo files and program files, and an engine environment pointing at both.
#include <windows.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/EngineEnvironment.h"
#include "engine/ExtScanner.h"
#include "engine/ScanEngine.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/support/TempFolder.h"

namespace kvtest {

inline constexpr const wchar_t* kFileExts = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";

class EngineWorld {
public:
    EngineWorld();

    CEngineEnvironment& Env() { return m_env; }
    RegistrySandbox& Registry() { return m_sandbox; }
    HKEY Classes() const { return m_sandbox.Classes(); }
    HKEY User() const { return m_sandbox.User(); }
    const std::wstring& Folder() const { return m_folder.Path(); }
    std::wstring DatabaseFolder() const { return m_env.m_strDatabaseFolder; }
    // An existing program file and a command that opens a document with it.
    const std::wstring& Program() const { return m_strProgram; }
    std::wstring SoundCommand() const { return L"\"" + m_strProgram + L"\" \"%1\""; }
    static std::wstring BrokenCommand() { return L"\"C:\\kv-nowhere\\missing.exe\" \"%1\""; }

    // A ProgID whose open verb reaches the program, or a missing one.
    void SoundProgId(const std::wstring& progId);
    void BrokenProgId(const std::wstring& progId);
    void ClassesDefault(const std::wstring& ext, const std::wstring& progId);
    void ClassesOpenWith(const std::wstring& ext, const std::wstring& progId);
    void UserChoice(const std::wstring& ext, const std::wstring& progId);
    void UserOpenWith(const std::wstring& ext, const std::wstring& progId);
    std::wstring UserChoiceValue(const std::wstring& ext) const;

    // Extension database rows: category and default file type; must-scan flag.
    void DatabaseExtension(const std::wstring& extNoDot, const std::wstring& category,
                           const std::wstring& defaultType = L"", bool mustScan = false);
    std::vector<std::wstring> History() const;
    void Ignore(const std::wstring& ext, const std::wstring& category = L"Unknown");
    // Files in the undo folder.
    std::vector<std::wstring> BackupFiles() const;

private:
    RegistrySandbox m_sandbox;
    TempFolder m_folder;
    CEngineEnvironment m_env;
    std::wstring m_strProgram;
    int m_nextTypeId = 1;
};

// Records the scanner's and the engine's events; waits are bounded so a broken engine fails a
// test instead of hanging it.
class EventRecorder : public CKVExtScannerCallbacks, public CKVScanEngineCallbacks {
public:
    int OnScanComplete(ExtensionList* pList, BOOL bCompleted) override;
    int OnScanProgress(IFileExtension* pExtension) override;
    int OnFixComplete(ExtensionList* pList, BOOL bCompleted) override;
    int OnExtensionsChanged(ExtensionChangeMap*) override { return 1; }
    int OnAssociationsChanged() override;

    std::vector<std::wstring> Progress() const;
    int ScanCompletions() const;
    int FixCompletions() const;
    BOOL LastScanCompleted() const;
    BOOL LastFixCompleted() const;
    int AssociationsChanged() const;

    // Called on the worker thread from inside OnScanProgress with the count reported so far.
    std::function<void(size_t)> m_onProgress;
    // Called on the repair thread from inside OnFixComplete.
    std::function<void()> m_onFix;

private:
    mutable std::mutex m_mutex;
    std::vector<std::wstring> m_progress;
    int m_nScanCompletions = 0;
    int m_nFixCompletions = 0;
    BOOL m_bScanCompleted = 0;
    BOOL m_bFixCompleted = 0;
    int m_nAssociationsChanged = 0;
};

// Everything below a key: key path (relative) -> value name -> (type, bytes).
using RegistryImage = std::map<std::wstring, std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>>>;
RegistryImage ImageOf(HKEY root);
// Imports a .reg file with the system's regedit (/S) and waits for it; true when it ran and ended.
bool ImportWithRegedit(const std::wstring& regFile);

// Creates (or replaces) a file with the bytes, creating its folders.
void WriteFileAt(const std::wstring& path, const std::string& bytes);
// Names of a list of records.
std::vector<std::wstring> NamesOf(const ExtensionList& list);
// Record of the last scan by name, or null.
CFileExtension* Result(CExtScanner& scanner, const std::wstring& name);
// Runs a scan to its end on the scanner and returns whether it started.
bool ScanAndWait(CExtScanner& scanner, const std::wstring& filter, CKVExtScannerCallbacks* callbacks);
bool RepairAndWait(CExtScanner& scanner, CKVExtScannerCallbacks* callbacks);

}  // namespace kvtest
