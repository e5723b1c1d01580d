#include "engine/EngineEnvironment.h"

#include "store/DBManager.h"
#include "win/Paths.h"

CEngineEnvironment CEngineEnvironment::Production() {
    CEngineEnvironment env;
    env.m_platform = AssocPlatform::Detect();
    env.m_strDatabaseFolder = CDBManager::DefaultFolder();
    return env;
}

std::wstring CEngineEnvironment::BackupFolder() const {
    if (m_strDatabaseFolder.empty()) return {};
    return win::JoinPath(m_strDatabaseFolder, L"Backups");
}

std::wstring CEngineEnvironment::DumpPath(const wchar_t* fileName) const {
    if (m_strDumpFolder.empty()) return fileName;
    return win::JoinPath(m_strDumpFolder, fileName);
}
