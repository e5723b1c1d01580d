#include "engine/ExtensionManager.h"

#include "engine/AssocWriter.h"
#include "engine/MonitorLink.h"
#include "engine/RegBackup.h"
#include "store/DBManager.h"
#include "win/Strings.h"

namespace {

// Extensions of programs themselves: changing what runs them is not offered.
bool IsNeverListed(const std::wstring& extension) {
    static const wchar_t* const kNames[] = {L".exe", L".bat", L".cmd", L".dll", L".scr", L".scf"};
    for (const wchar_t* name : kNames)
        if (win::EqualsNoCase(extension, name)) return true;
    return false;
}

LONG WriteText(win::RegKey& key, const wchar_t* name, const std::wstring& text, DWORD type) {
    return key.WriteRaw(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// Keeps the monitor's suspend counter raised for one scope.
class CSuspendRecording {
public:
    explicit CSuspendRecording(IExtensionMonitorLink* pMonitor) : m_pMonitor(pMonitor) {
        if (m_pMonitor) m_pMonitor->SuspendRecording();
    }
    ~CSuspendRecording() {
        if (m_pMonitor) m_pMonitor->ResumeRecording();
    }
    CSuspendRecording(const CSuspendRecording&) = delete;
    CSuspendRecording& operator=(const CSuspendRecording&) = delete;

private:
    IExtensionMonitorLink* m_pMonitor;
};

}  // namespace

CExtensionManager::CExtensionManager(CEngineEnvironment env)
    : m_regUtil(env.m_roots, env.m_platform), m_env(std::move(env)) {}

std::wstring CExtensionManager::OwnProgID(const std::wstring& extension) {
    return win::Format(L"Kavendor%s.Filetype", extension.c_str());
}

bool CExtensionManager::LoadAll(ExtensionMap& map) {
    CFileExtRegUtil util(m_env.m_roots, m_env.m_platform);
    std::vector<std::wstring> names;
    util.EnumExtensionKeys(util.CurrentUser(), names);
    util.EnumExtensionKeys(util.ClassesRoot(), names);
    // One set of connections for the whole load rather than one per extension.
    CDBManager db;
    db.Open(m_env.m_strDatabaseFolder);
    for (const auto& found : names) {
        std::wstring name = win::ToLower(found);
        if (IsNeverListed(name) || map.count(name)) continue;
        auto record = std::make_unique<CFileExtension>(name);
        LoadRecord(*record, util, &db);
        map.emplace(name, std::move(record));
    }
    return true;
}

bool CExtensionManager::LoadOne(CFileExtension& record) {
    CFileExtRegUtil util(m_env.m_roots, m_env.m_platform);
    CDBManager db;
    db.Open(m_env.m_strDatabaseFolder);
    LoadRecord(record, util, &db);
    return true;
}

void CExtensionManager::LoadRecord(CFileExtension& record, const CFileExtRegUtil& util, CDBManager* pDb) {
    record.ClearLists();
    // A re-read starts from empty types, so verbs or verdicts of an earlier type cannot linger.
    record.m_userChoice.Reset();
    record.m_classesDefault.Reset();
    record.m_bNoOpen = 0;
    util.ReadExtension(record);
    util.CollectOpenWithApps(record);
    std::wstring category;
    if (pDb && pDb->GetTypeName(record.m_strName, category) && !category.empty()) record.m_strDescription = category;
}

bool CExtensionManager::ChangeAction(CFileExtension& record, const std::wstring& verb, const std::wstring& command,
                                     IExtensionMonitorLink* pMonitor, KVChangeResult* pResult,
                                     std::wstring* pBackupPath) {
    auto finish = [&](KVChangeResult value) {
        if (pResult) *pResult = value;
        return value == KVChangeResult::Changed;
    };
    CSuspendRecording suspend(pMonitor);
    const std::wstring verbName = win::ToLower(verb);
    if (!IsSafeKeyName(record.m_strName) || !IsSafeKeyName(verbName)) return finish(KVChangeResult::InvalidRequest);
    std::wstring resolved = command;
    if (command.empty() || !m_regUtil.ResolveCommand(resolved)) return finish(KVChangeResult::ProgramMissing);

    const std::wstring own = OwnProgID(record.m_strName);
    const bool inPlace = win::EqualsNoCase(record.GetCurrentProgID(), own);

    // The undo file comes first; without it nothing is written.
    CRegBackup backup(m_regUtil.Mask(0));
    if (inPlace) {
        backup.AddTree(m_env.ClassesRootForBackup(), record.GetCurrentProgID() + L"\\shell\\" + verbName);
    } else {
        backup.AddTree(m_env.ClassesRootForBackup(), own);
        BackupUserChoice(backup, m_env, m_regUtil, record.m_strName);
    }
    std::wstring backupPath = backup.WriteFile(m_env.BackupFolder(), L"change");
    if (backupPath.empty()) return finish(KVChangeResult::BackupFailed);
    if (pBackupPath) *pBackupPath = backupPath;

    bool result = false;
    if (inPlace) {
        result = SetProgram(verbName, record, command);
    } else {
        if (pMonitor) pMonitor->ExpectUserChoiceChange(record.m_strName);
        // The verb is only ever edited in the own type, never in a type other extensions share.
        result = CreateOwnProgID(record, own) && PointUserChoice(record, own) &&
                 win::EqualsNoCase(record.GetCurrentProgID(), own) && SetProgram(verbName, record, command);
    }
    NotifyAssociationsChanged(m_env);
    if (!result) return finish(KVChangeResult::WriteFailed);

    CDBManager db;
    db.Open(m_env.m_strDatabaseFolder);
    db.AddHistoryEvent(win::Format(KV_HISTORY_ACTION_CHANGED, verbName.c_str(), record.m_strName.c_str()));
    return finish(KVChangeResult::Changed);
}

bool CExtensionManager::CreateOwnProgID(CFileExtension& record, const std::wstring& own) {
    const std::wstring current = record.GetCurrentProgID();
    if (win::EqualsNoCase(current, own) || !IsSafeKeyName(own)) return false;
    const HKEY classes = m_regUtil.ClassesRoot();
    // A copy left from an earlier change may be stale: start again from the current type.
    if (m_regUtil.KeyExists(classes, own)) m_regUtil.DeleteKeyTree(classes, own);
    if (current.empty()) {
        win::RegKey created;
        return m_regUtil.CreateKey(classes, own, KV_MASK_ALL_ACCESS, created);
    }
    win::RegKey source;
    if (!m_regUtil.OpenKey(classes, current, KV_MASK_READ, source)) return false;
    const bool copied = m_regUtil.CopyKeyTree(source.get(), classes, own);
    if (copied) {
        win::RegKey copy;
        if (m_regUtil.OpenKey(classes, own, KV_MASK_READ_SET_VALUE_CREATE, copy))
            m_regUtil.DeleteKeyTree(copy.get(), L"CurVer");
    }
    return copied;
}

bool CExtensionManager::PointUserChoice(CFileExtension& record, const std::wstring& own) {
    CFileTypeInfo type(own);
    m_regUtil.ReadFileType(record.m_strName, type);
    if (!WriteAssociation(m_regUtil, m_regUtil.CurrentUser(), record.m_strName, type)) return false;
    // The record now shows the own type where the reader will find it, read as it is, so the
    // verb edit that follows goes to the own type even when the earlier choice was broken: the
    // user's choice, or on a protected system the classes default (the choice is gone there).
    if (m_regUtil.m_bProtectedUserChoice) record.m_userChoice.Reset();
    CFileTypeInfo& choice = m_regUtil.m_bProtectedUserChoice ? record.m_classesDefault : record.m_userChoice;
    choice.Reset();
    choice.m_strProgID = own;
    choice.m_strEffectiveProgID = std::move(type.m_strEffectiveProgID);
    choice.m_strCommand = std::move(type.m_strCommand);
    choice.m_strProgramPath = std::move(type.m_strProgramPath);
    choice.m_mapVerbs = std::move(type.m_mapVerbs);
    choice.m_strDefaultVerb = std::move(type.m_strDefaultVerb);
    choice.m_bBroken = type.m_bBroken;
    return true;
}

bool CExtensionManager::BackupVerbCommand(const std::wstring& verb, const CFileExtension& record,
                                          const CFileExtRegUtil& util) {
    const std::wstring key = record.GetCurrentProgID() + L"\\shell\\" + verb + L"\\command";
    DWORD type = REG_SZ;
    const std::wstring old = util.ReadValue(util.ClassesRoot(), key, L"", &type);
    if (old.empty()) return true;
    win::RegKey commandKey;
    if (!util.OpenKey(util.ClassesRoot(), key, KV_MASK_READ_SET_VALUE, commandKey)) return true;
    if (type != REG_SZ && type != REG_EXPAND_SZ) type = REG_SZ;
    return WriteText(commandKey, L"KVBU", old, type) == ERROR_SUCCESS;
}

bool CExtensionManager::SetProgram(const std::wstring& verb, CFileExtension& record, const std::wstring& command) {
    std::wstring resolved = command;
    if (!m_regUtil.ResolveCommand(resolved)) return false;
    const std::wstring commandKey = record.GetCurrentProgID() + L"\\shell\\" + verb + L"\\command";
    DWORD oldType = REG_SZ;
    const std::wstring old = m_regUtil.ReadValue(m_regUtil.ClassesRoot(), commandKey, L"", &oldType);
    if (!BackupVerbCommand(verb, record, m_regUtil)) return false;
    if (!SetVerbCommand(m_regUtil, record, verb, command)) return false;
    // Replacing the verb key removed the kept command with it: keep it beside the new one.
    if (!old.empty()) {
        win::RegKey key;
        if (m_regUtil.OpenKey(m_regUtil.ClassesRoot(), commandKey, KV_MASK_READ_SET_VALUE, key))
            WriteText(key, L"KVBU", old, oldType == REG_EXPAND_SZ ? REG_EXPAND_SZ : REG_SZ);
    }
    CFileTypeInfo& type = record.CurrentVerbsType();
    auto& slot = type.m_mapVerbs[verb];
    if (!slot) slot = std::make_unique<CVerb>(verb);
    slot->m_strCommand = command;
    slot->m_strProgramPath = resolved;
    return true;
}
