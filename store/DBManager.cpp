#include "store/DBManager.h"

#include <shlobj.h>
#include <sqlite3.h>

#include <exception>

#include "win/Paths.h"
#include "win/Strings.h"

namespace {

constexpr wchar_t kFolderName[] = L"Kavendor";
constexpr wchar_t kExtensionFile[] = L"kv_db.db";
constexpr wchar_t kIgnoreFile[] = L"kv_ignore.db";
constexpr wchar_t kHistoryFile[] = L"kv_history.db";

// Tables a database gets when it lacks them. Existing tables are never changed. The event time
// is UTC with milliseconds, so events of one second keep their order; equal times come back in
// insertion order through the index, whose entries end with the row id.
constexpr const wchar_t* kExtensionSchema[] = {
    L"CREATE TABLE IF NOT EXISTS type (id INTEGER PRIMARY KEY, name TEXT NOT NULL)",
    L"CREATE TABLE IF NOT EXISTS extension (ext TEXT NOT NULL PRIMARY KEY, type_id INTEGER, "
    L"default_filetype TEXT, must_scan INTEGER NOT NULL DEFAULT 0)",
    nullptr,
};
constexpr const wchar_t* kIgnoreSchema[] = {
    L"CREATE TABLE IF NOT EXISTS ignoreditems (extension TEXT NOT NULL, type TEXT)",
    L"CREATE INDEX IF NOT EXISTS ignoreditems_extension ON ignoreditems (extension)",
    nullptr,
};
constexpr const wchar_t* kHistorySchema[] = {
    L"CREATE TABLE IF NOT EXISTS events (event TEXT, "
    L"eventtime TEXT NOT NULL DEFAULT (strftime('%Y-%m-%d %H:%M:%f', 'now')))",
    L"CREATE INDEX IF NOT EXISTS events_eventtime ON events (eventtime)",
    nullptr,
};

// Runs a database operation; any error becomes false, so nothing leaves the manager.
template <class TFunction>
bool Guarded(TFunction&& function) noexcept {
    try {
        function();
        return true;
    } catch (const CppSQLite3Exception&) {
    } catch (const std::exception&) {
    }
    return false;
}

bool TableExists(CppSQLite3DB& db, const wchar_t* table) {
    CppSQLite3Query query = db.ExecuteQuery(L"SELECT 1 FROM sqlite_master WHERE type='table' AND name='" +
                                            QuoteSql(table) + L"'");
    return !query.AtEnd();
}

void EnsureSchema(CppSQLite3DB& db, const wchar_t* const* tables, const wchar_t* const* statements) {
    bool missing = false;
    for (const wchar_t* const* table = tables; *table; ++table) missing = missing || !TableExists(db, *table);
    if (!missing) return;
    // Another connection may be creating the same tables: IF NOT EXISTS inside one write
    // transaction makes the later one a no-op.
    db.ExecuteStatement(L"BEGIN IMMEDIATE");
    try {
        for (const wchar_t* const* statement = statements; *statement; ++statement) db.ExecuteStatement(*statement);
        db.ExecuteStatement(L"COMMIT");
    } catch (...) {
        Guarded([&] { db.ExecuteStatement(L"ROLLBACK"); });
        throw;
    }
}

bool OpenOne(CppSQLite3DB& db, const std::wstring& path, const wchar_t* const* tables,
             const wchar_t* const* statements) {
    if (!Guarded([&] { db.Open(path); })) {
        db.Close();
        return false;
    }
    try {
        db.ExecuteStatement(L"PRAGMA synchronous=OFF;");
        EnsureSchema(db, tables, statements);
        return true;
    } catch (const CppSQLite3Exception& e) {
        // A file that is not a database is closed, so nothing is ever written into it. After
        // other failures (another connection held its lock past the time-out) the connection
        // stays open and serves once the lock is gone.
        if (e.ErrorCode() == SQLITE_NOTADB || e.ErrorCode() == SQLITE_CORRUPT) db.Close();
    } catch (const std::exception&) {
    }
    return false;
}

std::wstring WithoutLeadingDot(const std::wstring& ext) {
    return (!ext.empty() && ext[0] == L'.') ? ext.substr(1) : ext;
}

}  // namespace

std::wstring QuoteSql(std::wstring_view text) {
    std::wstring quoted;
    quoted.reserve(text.size() + 8);
    for (wchar_t c : text) {
        quoted += c;
        if (c == L'\'') quoted += L'\'';
    }
    return quoted;
}

CDBManager::CDBManager(int nBusyTimeoutMs)
    : m_dbExtensions(nBusyTimeoutMs), m_dbIgnore(nBusyTimeoutMs), m_dbHistory(nBusyTimeoutMs) {}

CDBManager::~CDBManager() = default;

std::wstring CDBManager::DefaultFolder() {
    std::wstring common = win::ShellFolder(CSIDL_COMMON_APPDATA);
    return common.empty() ? std::wstring() : win::JoinPath(common, kFolderName);
}

int CDBManager::Open() { return Open(DefaultFolder()); }

int CDBManager::Open(const std::wstring& strFolder) {
    Close();
    if (strFolder.empty()) return 0;
    // Without the folder every ignore and history write would be lost.
    if (!win::DirectoryExists(strFolder)) {
        win::CreateDirectories(strFolder);
        if (!win::DirectoryExists(strFolder)) return 0;
    }
    static constexpr const wchar_t* historyTables[] = {L"events", nullptr};
    static constexpr const wchar_t* ignoreTables[] = {L"ignoreditems", nullptr};
    static constexpr const wchar_t* extensionTables[] = {L"type", L"extension", nullptr};
    // Each database is opened on its own: a damaged history file must not cost the ignore list
    // or the extension database.
    bool history = OpenOne(m_dbHistory, win::JoinPath(strFolder, kHistoryFile), historyTables, kHistorySchema);
    bool ignore = OpenOne(m_dbIgnore, win::JoinPath(strFolder, kIgnoreFile), ignoreTables, kIgnoreSchema);
    bool extensions =
        OpenOne(m_dbExtensions, win::JoinPath(strFolder, kExtensionFile), extensionTables, kExtensionSchema);
    return (history && ignore && extensions) ? 1 : 0;
}

void CDBManager::Close() {
    m_dbExtensions.Close();
    m_dbIgnore.Close();
    m_dbHistory.Close();
}

int CDBManager::GetTypeName(const std::wstring& strExt, std::wstring& strName) {
    std::wstring found;
    bool hasRow = false;
    bool ok = Guarded([&] {
        CppSQLite3Query query = m_dbExtensions.ExecuteQuery(
            L"SELECT t.name FROM type t, extension e WHERE e.ext='" + QuoteSql(WithoutLeadingDot(strExt)) +
            L"' and e.type_id=t.id");
        if (!query.AtEnd()) {
            found = query.FieldText(0);
            hasRow = true;
        }
    });
    if (!ok || !hasRow) return 0;
    strName = std::move(found);
    return 1;
}

std::wstring CDBManager::GetDefaultFileType(const std::wstring& strExt) {
    std::wstring result;
    bool ok = Guarded([&] {
        CppSQLite3Query query = m_dbExtensions.ExecuteQuery(
            L"SELECT e.default_filetype FROM extension e WHERE e.ext='" + QuoteSql(WithoutLeadingDot(strExt)) + L"'");
        if (!query.AtEnd()) result = query.FieldText(0);
    });
    return ok ? result : std::wstring();
}

int CDBManager::GetMustScanExtensions(std::vector<std::wstring>& list) {
    return Guarded([&] {
               CppSQLite3Query query = m_dbExtensions.ExecuteQuery(L"SELECT e.ext FROM extension e WHERE e.must_scan=1");
               for (; !query.AtEnd(); query.NextRow()) list.push_back(L"." + query.FieldText(0));
           })
               ? 1
               : 0;
}

int CDBManager::IsIgnored(const std::wstring& strExt) {
    bool listed = false;
    bool ok = Guarded([&] {
        CppSQLite3Query query = m_dbIgnore.ExecuteQuery(L"select * from ignoreditems where extension='" +
                                                        QuoteSql(strExt) + L"' limit 1");
        listed = !query.AtEnd();
    });
    return (ok && listed) ? 1 : 0;
}

int CDBManager::AddIgnored(const std::wstring& strExt, const std::wstring& strCategory) {
    if (IsIgnored(strExt)) return 1;
    return Guarded([&] {
               m_dbIgnore.ExecuteStatement(L"insert into ignoreditems (extension, type) values ('" + QuoteSql(strExt) +
                                           L"', '" + QuoteSql(strCategory) + L"')");
           })
               ? 1
               : 0;
}

int CDBManager::RemoveIgnored(const CIgnoredItem* pItem) { return pItem ? RemoveIgnored(pItem->m_strExtension) : 0; }

int CDBManager::RemoveIgnored(const std::wstring& strExt) {
    return Guarded([&] {
               m_dbIgnore.ExecuteStatement(L"delete from ignoreditems where extension='" + QuoteSql(strExt) + L"'");
           })
               ? 1
               : 0;
}

int CDBManager::ClearIgnored() {
    return Guarded([&] { m_dbIgnore.ExecuteStatement(L"delete from ignoreditems where 1"); }) ? 1 : 0;
}

int CDBManager::GetIgnoredItems(std::vector<std::unique_ptr<CIgnoredItem>>* pArray) {
    if (!pArray) return 0;
    std::vector<std::unique_ptr<CIgnoredItem>> items;
    bool ok = Guarded([&] {
        CppSQLite3Query query = m_dbIgnore.ExecuteQuery(L"select * from ignoreditems");
        for (; !query.AtEnd(); query.NextRow())
            items.push_back(std::make_unique<CIgnoredItem>(query.FieldText(0), query.FieldText(1)));
    });
    if (!ok) return 0;
    // Appended only when the whole table was read, so a failure never leaves half a list.
    for (auto& item : items) pArray->push_back(std::move(item));
    return 1;
}

int CDBManager::GetHistory(std::vector<std::wstring>* pStrings) {
    if (!pStrings) return 0;
    std::vector<std::wstring> events;
    bool ok = Guarded([&] {
        CppSQLite3Query query = m_dbHistory.ExecuteQuery(L"select event from events order by eventtime");
        for (; !query.AtEnd(); query.NextRow()) events.push_back(query.FieldText(0));
    });
    if (!ok) return 0;
    for (auto& event : events) pStrings->push_back(std::move(event));
    return 1;
}

int CDBManager::ClearHistory() {
    return Guarded([&] { m_dbHistory.ExecuteStatement(L"delete from events where 1"); }) ? 1 : 0;
}

int CDBManager::AddHistoryEvent(const std::wstring& strText) {
    if (strText.empty()) return 0;
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    std::wstring line = FormatHistoryEvent(now, strText);
    return Guarded([&] {
               m_dbHistory.ExecuteStatement(L"insert into events (event) values ('" + QuoteSql(line) + L"')");
           })
               ? 1
               : 0;
}

std::wstring CDBManager::FormatHistoryEvent(const SYSTEMTIME& time, const std::wstring& strText) {
    // The text is appended, not formatted, so a '%' in it stays as it is.
    return win::Format(L"%d-%02d-%02d %02d:%02d, ", time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute) +
           strText;
}
