// The repair thread of the scanner: fixes every problem the last scan found.
#include <process.h>

#include <new>

#include "assoc/FileExtRegUtil.h"
#include "engine/AssocWriter.h"
#include "engine/ExtScanner.h"
#include "engine/RegBackup.h"
#include "store/DBManager.h"
#include "win/Strings.h"

struct CExtScanner::RepairParams {
    ExtensionMap* pResults = nullptr;
    ExtensionList* pRepairList = nullptr;
    CKVExtScannerCallbacks* pCallbacks = nullptr;
    std::atomic<LONG>* pCancel = nullptr;
    std::atomic<LONG>* pRunning = nullptr;
    std::wstring* pBackupPath = nullptr;
    BOOL* pBackupFailed = nullptr;
    CEngineEnvironment env;
    bool bCompletionSent = false;
};

namespace {

bool NeedsRepair(const CFileExtension& record) { return record.m_nProblems != 0 || record.m_bSearched; }

// What the repair of one record may change, recorded before anything is written.
void BackupRecord(CRegBackup& backup, const CEngineEnvironment& env, const CFileExtRegUtil& util,
                  const CFileExtension& record) {
    const std::wstring& ext = record.m_strName;
    const UINT flags = record.m_nProblems;
    if (!IsSafeKeyName(ext)) return;
    auto brokenNames = [](const FileTypeList& types) {
        std::vector<std::wstring> names;
        for (const auto& type : types)
            if (type && type->m_bBroken) names.push_back(type->m_strProgID);
        return names;
    };
    if (flags & EXT_PROBLEM_CLASSES_OPENWITH)
        backup.AddValues(env.ClassesRootForBackup(), ext + L"\\OpenWithProgIDs", brokenNames(record.m_classesOpenWith));
    if (flags & EXT_PROBLEM_USER_OPENWITH)
        backup.AddValues(env.CurrentUserForBackup(), std::wstring(KV_FILEEXTS_KEY) + L"\\" + ext + L"\\OpenWithProgIDs",
                         brokenNames(record.m_userOpenWith));
    if (flags & EXT_PROBLEM_CLASSES_DEFAULT) BackupClassesDefault(backup, env, util, ext);
    if (flags & EXT_PROBLEM_USER_CHOICE) BackupUserChoice(backup, env, util, ext);
}

// The file type the extension database names for the extension, when it is sound.
std::unique_ptr<CFileTypeInfo> SoundDatabaseType(CDBManager& db, const CFileExtRegUtil& util, const std::wstring& ext) {
    std::wstring progId = db.GetDefaultFileType(ext);
    if (progId.empty()) return nullptr;
    auto type = std::make_unique<CFileTypeInfo>(progId);
    util.ReadFileType(ext, *type);
    if (type->m_bBroken) return nullptr;
    return type;
}

const CFileTypeInfo* FirstSound(const FileTypeList& types) {
    for (const auto& type : types)
        if (type && !type->m_bBroken && !type->m_strProgID.empty()) return type.get();
    return nullptr;
}

// Points one broken association (classes-root default or per-user choice) at a sound type: the
// first sound Open-With type of the same place, the database's default type, or the other
// place's type when that one is not broken. A write that fails counts as no replacement, and the
// next one is tried. Without any, the broken association is cleared. Returns whether it was
// repaired; `wrote` tells whether the registry was changed at all.
bool RepairAssociation(const CFileExtRegUtil& util, CDBManager& db, const CFileExtension& record, HKEY root,
                       const FileTypeList& openWith, bool otherBroken, const CFileTypeInfo& other, bool& wrote) {
    const std::wstring& ext = record.m_strName;
    if (const CFileTypeInfo* type = FirstSound(openWith)) {
        if (WriteAssociation(util, root, ext, *type)) return wrote = true;
    }
    if (auto type = SoundDatabaseType(db, util, ext)) {
        if (WriteAssociation(util, root, ext, *type)) return wrote = true;
    }
    if (!otherBroken && !other.m_strProgID.empty()) {
        if (WriteAssociation(util, root, ext, other)) return wrote = true;
    }
    if (ClearAssociation(util, root, ext)) wrote = true;
    return false;
}

}  // namespace

bool CExtScanner::StartRepairThread(CKVExtScannerCallbacks* pCallbacks) {
    if (!m_pResults || m_bScanRunning || m_bRepairRunning) return false;
    try {
        m_pRepairList = std::make_unique<ExtensionList>();
        m_strRepairBackup.clear();
        m_bRepairBackupFailed = 0;
        auto params = std::make_unique<RepairParams>();
        params->pResults = m_pResults.get();
        params->pRepairList = m_pRepairList.get();
        params->pCallbacks = pCallbacks;
        params->pCancel = &m_bRepairCancel;
        params->pRunning = &m_bRepairRunning;
        params->pBackupPath = &m_strRepairBackup;
        params->pBackupFailed = &m_bRepairBackupFailed;
        params->env = m_env;
        m_bRepairRunning = 1;
        uintptr_t thread = ::_beginthreadex(nullptr, 0, &CExtScanner::RepairThread, params.get(), 0, nullptr);
        if (!thread) {
            m_bRepairRunning = 0;
            return false;
        }
        params.release();
        m_hRepairThread.reset(reinterpret_cast<HANDLE>(thread));
        return true;
    } catch (const std::bad_alloc&) {
        m_bRepairRunning = 0;
        return false;
    }
}

unsigned __stdcall CExtScanner::RepairThread(void* pParam) {
    std::unique_ptr<RepairParams> params(static_cast<RepairParams*>(pParam));
    std::atomic<LONG>* running = params->pRunning;
    std::atomic<LONG>* cancel = params->pCancel;
    try {
        RunRepair(*params);
    } catch (...) {
        // Out of memory mid-repair: reported as not completed; nothing may escape the thread.
        if (params->pCallbacks && !params->bCompletionSent) {
            try {
                params->pCallbacks->OnFixComplete(params->pRepairList, 0);
            } catch (...) {
            }
        }
    }
    params.reset();
    *cancel = 0;
    *running = 0;
    return 0;
}

void CExtScanner::RunRepair(RepairParams& params) {
    ExtensionMap& results = *params.pResults;
    ExtensionList& list = *params.pRepairList;
    const CEngineEnvironment& env = params.env;

    CDBManager db;
    db.Open(env.m_strDatabaseFolder);
    CFileExtRegUtil util(env.m_roots, env.m_platform);
    bool wrote = false;
    bool backupFailed = false;

    if (params.pCancel->load() != 1) {
        // Nothing is changed before the undo file of this run is safely on disk.
        CRegBackup backup(util.Mask(0));
        for (const auto& [name, record] : results)
            if (NeedsRepair(*record)) BackupRecord(backup, env, util, *record);
        if (!backup.IsEmpty()) {
            std::wstring path = backup.WriteFile(env.BackupFolder(), L"repair");
            if (path.empty())
                backupFailed = true;
            else
                *params.pBackupPath = path;
        }

        for (auto& [name, recordPtr] : results) {
            CFileExtension& record = *recordPtr;
            if (!NeedsRepair(record)) continue;
            record.m_bFixed = 0;
            if (backupFailed) {
                list.push_back(&record);
                continue;
            }
            const UINT flags = record.m_nProblems;
            UINT remaining = flags;
            const std::wstring& ext = record.m_strName;
            if (flags & EXT_PROBLEM_CLASSES_OPENWITH) {
                bool all = true;
                for (const auto& type : record.m_classesOpenWith)
                    if (type->m_bBroken) {
                        if (DeleteOpenWithProgID(util, ext, util.ClassesRoot(), type->m_strProgID))
                            wrote = true;
                        else
                            all = false;
                    }
                if (all) remaining &= ~static_cast<UINT>(EXT_PROBLEM_CLASSES_OPENWITH);
            }
            if (flags & EXT_PROBLEM_USER_OPENWITH) {
                bool all = true;
                for (const auto& type : record.m_userOpenWith)
                    if (type->m_bBroken) {
                        if (DeleteOpenWithProgID(util, ext, util.CurrentUser(), type->m_strProgID))
                            wrote = true;
                        else
                            all = false;
                    }
                if (all) remaining &= ~static_cast<UINT>(EXT_PROBLEM_USER_OPENWITH);
            }
            if (flags & EXT_PROBLEM_CLASSES_DEFAULT) {
                if (RepairAssociation(util, db, record, util.ClassesRoot(), record.m_classesOpenWith,
                                      (flags & EXT_PROBLEM_USER_CHOICE) != 0, record.m_userChoice, wrote))
                    remaining &= ~static_cast<UINT>(EXT_PROBLEM_CLASSES_DEFAULT);
            }
            if (flags & EXT_PROBLEM_USER_CHOICE) {
                if (RepairAssociation(util, db, record, util.CurrentUser(), record.m_userOpenWith,
                                      (flags & EXT_PROBLEM_CLASSES_DEFAULT) != 0, record.m_classesDefault, wrote))
                    remaining &= ~static_cast<UINT>(EXT_PROBLEM_USER_CHOICE);
            }
            if (remaining == 0 && !record.m_bSearched) {
                record.m_bFixed = 1;
                db.AddHistoryEvent(win::Format(KV_HISTORY_FIXED, ext.c_str()));
            }
            list.push_back(&record);
        }
    }
    if (wrote) NotifyAssociationsChanged(env);
    *params.pBackupFailed = backupFailed ? 1 : 0;

    const BOOL completed = (params.pCancel->load() != 1 && !backupFailed) ? 1 : 0;
    if (params.pCallbacks) {
        params.bCompletionSent = true;
        params.pCallbacks->OnFixComplete(&list, completed);
    }
}
