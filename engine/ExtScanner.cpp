#include "engine/ExtScanner.h"

#include <process.h>

#include <algorithm>
#include <new>
#include <set>

#include "assoc/FileExtRegUtil.h"
#include "engine/AssocWriter.h"
#include "store/CppSQLite3.h"
#include "store/DBManager.h"
#include "win/Paths.h"
#include "win/Strings.h"

namespace {

// A single-extension scan ends after a short pause, so its page is seen before the results.
constexpr DWORD kSingleScanPauseMs = 1500;

// Rewrites a dump file in the thread's ANSI code page. Failures are not reported: the dumps are
// diagnostics and never stop a scan.
void WriteDumpFile(const std::wstring& path, const std::wstring& text) {
    win::UniqueFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    std::string bytes = win::WideToCodePage(text, CP_THREAD_ACP);
    size_t offset = 0;
    while (offset < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - offset, 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(file.get(), bytes.data() + offset, chunk, &written, nullptr) || written == 0) return;
        offset += written;
    }
}

void WaitPumpingSentMessages(HANDLE thread) {
    if (!thread) return;
    for (;;) {
        DWORD rc = ::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
        if (rc != WAIT_OBJECT_0 + 1) return;
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

bool IsUsableFilter(const std::wstring& filter) {
    return filter.size() > 1 && filter[0] == L'.' && IsSafeKeyName(filter);
}

// The ignore list, read once per scan instead of one query per extension. The list matches names
// exactly, as the database's own lookup does; when it cannot be read as a whole, every name is
// asked for one by one.
class CIgnoreSet {
public:
    explicit CIgnoreSet(CDBManager& db) : m_db(db) {
        std::vector<std::unique_ptr<CIgnoredItem>> items;
        m_bLoaded = db.GetIgnoredItems(&items) != 0;
        for (const auto& item : items)
            if (item) m_names.insert(item->m_strExtension);
    }
    bool Contains(const std::wstring& name) const {
        return m_bLoaded ? m_names.count(name) != 0 : m_db.IsIgnored(name) != 0;
    }

private:
    CDBManager& m_db;
    bool m_bLoaded = false;
    std::set<std::wstring> m_names;
};

// Categories of the extension database, read with one query per scan instead of one per
// extension (each statement costs a file lock). It is the same join as the per-extension lookup,
// without its filter; when it cannot be read, each extension is asked for on its own.
class CCategoryCache {
public:
    CCategoryCache(CDBManager& db, const std::wstring& folder) : m_db(db) {
        const std::wstring file = win::JoinPath(folder, L"kv_db.db");
        if (folder.empty() || !win::FileExists(file)) return;
        try {
            CppSQLite3DB connection;
            connection.Open(file);
            CppSQLite3Query query =
                connection.ExecuteQuery(L"SELECT e.ext, t.name FROM type t, extension e WHERE e.type_id=t.id");
            for (; !query.AtEnd(); query.NextRow()) m_names.emplace(query.FieldText(0), query.FieldText(1));
            m_bLoaded = true;
        } catch (...) {
            m_names.clear();
        }
    }
    // The category text, or empty when the database names none.
    std::wstring Lookup(const std::wstring& extension) {
        std::wstring key = extension;
        if (!key.empty() && key[0] == L'.') key.erase(0, 1);
        if (!m_bLoaded) {
            std::wstring name;
            return m_db.GetTypeName(extension, name) ? name : std::wstring();
        }
        auto it = m_names.find(key);
        return it == m_names.end() ? std::wstring() : it->second;
    }

private:
    CDBManager& m_db;
    bool m_bLoaded = false;
    // First row per extension wins, as in the single lookup.
    std::map<std::wstring, std::wstring> m_names;
};

}  // namespace

struct CExtScanner::ScanParams {
    ExtensionMap* pResults = nullptr;
    ExtensionList* pResultList = nullptr;
    CKVExtScannerCallbacks* pCallbacks = nullptr;
    std::atomic<LONG>* pCancel = nullptr;
    std::atomic<LONG>* pRunning = nullptr;
    std::wstring strFilter;
    CEngineEnvironment env;
    bool bCompletionSent = false;
};

CExtScanner::CExtScanner(CEngineEnvironment env) : m_env(std::move(env)) {}

CExtScanner::~CExtScanner() {
    m_bScanCancel = 1;
    WaitForScan();
    WaitForRepair();
}

void CExtScanner::WaitForScan() const { WaitPumpingSentMessages(m_hScanThread.get()); }
void CExtScanner::WaitForRepair() const { WaitPumpingSentMessages(m_hRepairThread.get()); }

bool CExtScanner::StartScanThread(const std::wstring& filter, CKVExtScannerCallbacks* pCallbacks) {
    // The records of a running worker must not go away under it.
    if (m_bScanRunning || m_bRepairRunning) return false;
    const std::wstring lowered = win::ToLower(filter);
    if (!filter.empty() && !IsUsableFilter(lowered)) return false;
    try {
        // The repair list points into the records that go now.
        if (m_pRepairList) m_pRepairList->clear();
        m_pResults.reset();
        m_pResultList.reset();
        m_pResults = std::make_unique<ExtensionMap>();
        m_pResultList = std::make_unique<ExtensionList>();
        m_bScanCancel = 0;
        auto params = std::make_unique<ScanParams>();
        params->pResults = m_pResults.get();
        params->pResultList = m_pResultList.get();
        params->pCallbacks = pCallbacks;
        params->pCancel = &m_bScanCancel;
        params->pRunning = &m_bScanRunning;
        params->strFilter = lowered;
        params->env = m_env;
        // Busy from this moment, so that no second start can slip in before the thread runs.
        m_bScanRunning = 1;
        uintptr_t thread = ::_beginthreadex(nullptr, 0, &CExtScanner::ScanThread, params.get(), 0, nullptr);
        if (!thread) {
            m_bScanRunning = 0;
            return false;
        }
        params.release();
        m_hScanThread.reset(reinterpret_cast<HANDLE>(thread));
        return true;
    } catch (const std::bad_alloc&) {
        m_bScanRunning = 0;
        return false;
    }
}

unsigned __stdcall CExtScanner::ScanThread(void* pParam) {
    std::unique_ptr<ScanParams> params(static_cast<ScanParams*>(pParam));
    std::atomic<LONG>* running = params->pRunning;
    std::atomic<LONG>* cancel = params->pCancel;
    try {
        RunScan(*params);
    } catch (...) {
        // Out of memory mid-scan: the scan ends as a cancelled one; nothing may escape the thread.
        if (params->pCallbacks && !params->bCompletionSent) {
            try {
                params->pCallbacks->OnScanComplete(params->pResultList, 0);
            } catch (...) {
            }
        }
    }
    params.reset();
    *cancel = 0;
    *running = 0;
    return 0;
}

void CExtScanner::RunScan(ScanParams& params) {
    ExtensionMap& results = *params.pResults;
    ExtensionList& list = *params.pResultList;
    auto cancelled = [&] { return params.pCancel->load() == 1; };
    const bool single = !params.strFilter.empty();

    CDBManager db;
    db.Open(params.env.m_strDatabaseFolder);
    CFileExtRegUtil util(params.env.m_roots, params.env.m_platform);
    // Shared file types and common commands are judged once per scan, not once per extension.
    util.EnableResolveCache(true);
    CIgnoreSet ignored(db);
    CCategoryCache categories(db, params.env.m_strDatabaseFolder);

    // Collect.
    if (!cancelled()) {
        if (single) {
            auto record = std::make_unique<CFileExtension>(params.strFilter);
            record->m_bSearched = 1;
            results.emplace(params.strFilter, std::move(record));
        } else {
            std::vector<std::wstring> names;
            util.EnumExtensionKeys(util.ClassesRoot(), names);
            util.EnumExtensionKeys(util.CurrentUser(), names);
            for (const auto& found : names) {
                std::wstring name = win::ToLower(found);
                if (results.count(name) || ignored.Contains(name)) continue;
                results.emplace(name, std::make_unique<CFileExtension>(name));
            }
        }
    }

    {
        std::wstring dump;
        for (const auto& [name, record] : results) {
            std::wstring line = win::ToLower(name);
            if (!line.empty() && line[0] == L'.') line.erase(0, 1);
            dump += line;
            dump += L"\r\n";
        }
        WriteDumpFile(params.env.DumpPath(KV_EXTENSION_DUMP), dump);
    }

    // Examine, in name order.
    if (!cancelled()) {
        list.reserve(results.size());
        for (auto& [name, record] : results) {
            util.ReadExtension(*record);
            if (cancelled()) break;
            std::wstring category = categories.Lookup(name);
            if (!category.empty()) record->m_strDescription = category;
            if (params.pCallbacks) params.pCallbacks->OnScanProgress(record.get());
            list.push_back(record.get());
        }
    }

    // Extensions the database says must always have a program.
    if (!single && !cancelled()) {
        std::vector<std::wstring> mustScan;
        db.GetMustScanExtensions(mustScan);
        for (const auto& found : mustScan) {
            std::wstring name = win::ToLower(found);
            if (!IsUsableFilter(name) || ignored.Contains(name)) continue;
            auto it = results.find(name);
            if (it == results.end()) {
                auto record = std::make_unique<CFileExtension>(name);
                record->m_nProblems = EXT_PROBLEM_NO_APPLICATION;
                std::wstring category = categories.Lookup(name);
                if (!category.empty()) record->m_strDescription = category;
                list.push_back(record.get());
                results.emplace(name, std::move(record));
            } else if (it->second->m_nProblems == 0 && it->second->GetCurrentProgID().empty()) {
                it->second->m_nProblems = EXT_PROBLEM_NO_APPLICATION;
            }
        }
    }

    // The searched extension needs a program when nothing names a type for it.
    if (single && !cancelled()) {
        auto it = results.find(params.strFilter);
        if (it != results.end() && it->second->m_userChoice.m_strProgID.empty() &&
            it->second->m_classesDefault.m_strProgID.empty())
            it->second->m_nProblems = EXT_PROBLEM_NO_APPLICATION;
    }

    {
        std::wstring dump;
        for (const auto& [name, record] : results) {
            if (record->m_nProblems == 0) continue;
            dump += DumpExtension(*record);
            dump += L"\r\n\r\n\r\n";
        }
        WriteDumpFile(params.env.DumpPath(KV_ERROR_DUMP), dump);
    }

    const BOOL completed = cancelled() ? 0 : 1;
    if (params.pCallbacks) {
        if (single && completed) ::Sleep(kSingleScanPauseMs);
        params.bCompletionSent = true;
        params.pCallbacks->OnScanComplete(&list, completed);
    }
}

bool CExtScanner::RemoveExtension(const IFileExtension* pExtension) {
    if (!pExtension || !m_pResults) return false;
    const std::wstring name = pExtension->GetName();
    auto sameName = [&](const IFileExtension* item) { return item && win::EqualsNoCase(item->GetName(), name); };
    if (m_pResultList) {
        auto it = std::find_if(m_pResultList->begin(), m_pResultList->end(), sameName);
        if (it != m_pResultList->end()) m_pResultList->erase(it);
    }
    auto found = m_pResults->find(name);
    if (found == m_pResults->end()) return false;
    // No list may keep a pointer to the record that goes.
    const IFileExtension* record = found->second.get();
    for (ExtensionList* other : {m_pResultList.get(), m_pRepairList.get()}) {
        if (!other) continue;
        other->erase(std::remove(other->begin(), other->end(), record), other->end());
    }
    m_pResults->erase(found);
    return true;
}
