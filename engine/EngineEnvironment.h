#pragma once
// Everything the engine's workers need to reach the system: the registry roots (the predefined
// keys in production, a sandbox in tests), the names regedit knows those roots by (for undo
// files), the facts of the running system, the databases folder and the folder of the two
// diagnostic dumps. Each worker thread builds its own registry utility and database connections
// from a copy of it.
#include <string>

#include "assoc/FileExtRegUtil.h"
#include "engine/RegBackup.h"
#include "win/RegistryRoots.h"

class CEngineEnvironment {
public:
    // The running system: predefined roots, detected platform facts, the machine's databases
    // folder, dumps in the current folder.
    static CEngineEnvironment Production();

    RegBackupRoot ClassesRootForBackup() const { return {m_roots.classesRoot, m_strClassesRootName}; }
    RegBackupRoot CurrentUserForBackup() const { return {m_roots.currentUser, m_strCurrentUserName}; }
    // "<databases folder>\Backups"; empty when there is no databases folder.
    std::wstring BackupFolder() const;
    // A dump file's path: in m_strDumpFolder, or relative (the current folder) when that is empty.
    std::wstring DumpPath(const wchar_t* fileName) const;

    win::RegistryRoots m_roots;
    std::wstring m_strClassesRootName = L"HKEY_CLASSES_ROOT";
    std::wstring m_strCurrentUserName = L"HKEY_CURRENT_USER";
    AssocPlatform m_platform;
    std::wstring m_strDatabaseFolder;
    std::wstring m_strDumpFolder;
    // Tell the shell once after writing associations (SHChangeNotify).
    bool m_bNotifyShell = true;
};
