#include "store/CppSQLite3.h"

#include <sqlite3.h>

#include <climits>
#include <utility>

#include "win/UniqueHandle.h"

namespace {

struct StatementTraits {
    using type = sqlite3_stmt*;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { sqlite3_finalize(h); }
};
// Owns a prepared statement until it is handed to a query or finalised for its result code.
using UniqueStatement = win::UniqueHandle<StatementTraits>;

// Statements that keep answering SQLITE_SCHEMA are given up after this many attempts, so a
// schema that changes without end cannot hold a thread forever.
constexpr int kMaxSchemaRetries = 16;

std::wstring ConnectionMessage(sqlite3* pDB) {
    const void* text = pDB ? sqlite3_errmsg16(pDB) : nullptr;
    return text ? std::wstring(static_cast<const wchar_t*>(text)) : std::wstring();
}

}  // namespace

// ---------------------------------------------------------------------------------------------

CppSQLite3Exception::CppSQLite3Exception(int nErrorCode, const std::wstring& strDetail) : m_nErrorCode(nErrorCode) {
    m_strMessage = ErrorCodeAsString(nErrorCode);
    m_strMessage += L"[" + std::to_wstring(nErrorCode) + L"]: " + strDetail;
}

CppSQLite3Exception::~CppSQLite3Exception() = default;

const wchar_t* CppSQLite3Exception::ErrorCodeAsString(int nErrorCode) {
    static const wchar_t* const names[] = {
        L"SQLITE_OK",       L"SQLITE_ERROR",    L"SQLITE_INTERNAL",  L"SQLITE_PERM",     L"SQLITE_ABORT",
        L"SQLITE_BUSY",     L"SQLITE_LOCKED",   L"SQLITE_NOMEM",     L"SQLITE_READONLY", L"SQLITE_INTERRUPT",
        L"SQLITE_IOERR",    L"SQLITE_CORRUPT",  L"SQLITE_NOTFOUND",  L"SQLITE_FULL",     L"SQLITE_CANTOPEN",
        L"SQLITE_PROTOCOL", L"SQLITE_EMPTY",    L"SQLITE_SCHEMA",    L"SQLITE_TOOBIG",   L"SQLITE_CONSTRAINT",
        L"SQLITE_MISMATCH", L"SQLITE_MISUSE",   L"SQLITE_NOLFS",     L"SQLITE_AUTH",     L"SQLITE_FORMAT",
        L"SQLITE_RANGE",    L"SQLITE_NOTADB",
    };
    if (nErrorCode >= 0 && nErrorCode < static_cast<int>(sizeof names / sizeof names[0])) return names[nErrorCode];
    switch (nErrorCode) {
        case SQLITE_ROW: return L"SQLITE_ROW";
        case SQLITE_DONE: return L"SQLITE_DONE";
        case CPPSQLITE_ERROR: return L"CPPSQLITE_ERROR";
        default: return L"UNKNOWN_ERROR";
    }
}

// ---------------------------------------------------------------------------------------------

CppSQLite3Query::CppSQLite3Query(sqlite3* pDB, sqlite3_stmt* pVM, bool bEof, bool bOwnVM)
    : m_pDB(pDB), m_pVM(pVM), m_bEof(bEof), m_nCols(pVM ? sqlite3_column_count(pVM) : 0), m_bOwnVM(bOwnVM) {}

CppSQLite3Query::CppSQLite3Query(CppSQLite3Query&& other) noexcept
    : m_pDB(std::exchange(other.m_pDB, nullptr)),
      m_pVM(std::exchange(other.m_pVM, nullptr)),
      m_bEof(std::exchange(other.m_bEof, true)),
      m_nCols(std::exchange(other.m_nCols, 0)),
      m_bOwnVM(std::exchange(other.m_bOwnVM, false)) {}

CppSQLite3Query& CppSQLite3Query::operator=(CppSQLite3Query&& other) noexcept {
    if (this != &other) {
        if (m_pVM && m_bOwnVM) sqlite3_finalize(m_pVM);
        m_pDB = std::exchange(other.m_pDB, nullptr);
        m_pVM = std::exchange(other.m_pVM, nullptr);
        m_bEof = std::exchange(other.m_bEof, true);
        m_nCols = std::exchange(other.m_nCols, 0);
        m_bOwnVM = std::exchange(other.m_bOwnVM, false);
    }
    return *this;
}

CppSQLite3Query::~CppSQLite3Query() {
    // A finalisation error here has nowhere to go.
    if (m_pVM && m_bOwnVM) sqlite3_finalize(m_pVM);
}

void CppSQLite3Query::CheckVM() const {
    if (!m_pVM) throw CppSQLite3Exception(CPPSQLITE_ERROR, L"Null Virtual Machine pointer");
}

void CppSQLite3Query::CheckField(int nField) const {
    CheckVM();
    if (nField < 0 || nField >= m_nCols) throw CppSQLite3Exception(CPPSQLITE_ERROR, L"Invalid field index requested");
}

int CppSQLite3Query::NumFields() const {
    CheckVM();
    return m_nCols;
}

std::wstring CppSQLite3Query::FieldText(int nField) const {
    CheckField(nField);
    // Length first would be wrong: sqlite3_column_bytes16 must follow the text conversion.
    const void* text = sqlite3_column_text16(m_pVM, nField);
    if (!text) return std::wstring();
    int bytes = sqlite3_column_bytes16(m_pVM, nField);
    return std::wstring(static_cast<const wchar_t*>(text), static_cast<size_t>(bytes) / sizeof(wchar_t));
}

bool CppSQLite3Query::FieldIsNull(int nField) const {
    CheckField(nField);
    return sqlite3_column_type(m_pVM, nField) == SQLITE_NULL;
}

bool CppSQLite3Query::AtEnd() const {
    CheckVM();
    return m_bEof;
}

void CppSQLite3Query::NextRow() {
    CheckVM();
    int rc = sqlite3_step(m_pVM);
    if (rc == SQLITE_DONE) {
        m_bEof = true;
    } else if (rc == SQLITE_ROW) {
        m_bEof = false;
    } else {
        std::wstring detail = ConnectionMessage(m_pDB);
        int code = sqlite3_finalize(m_pVM);
        m_pVM = nullptr;
        m_bEof = true;
        throw CppSQLite3Exception(code != SQLITE_OK ? code : rc, detail);
    }
}

void CppSQLite3Query::Finalize() {
    if (m_pVM && m_bOwnVM) {
        sqlite3_stmt* vm = std::exchange(m_pVM, nullptr);
        m_bEof = true;
        int rc = sqlite3_finalize(vm);
        if (rc != SQLITE_OK) throw CppSQLite3Exception(rc, ConnectionMessage(m_pDB));
    }
    m_pVM = nullptr;
    m_bEof = true;
}

// ---------------------------------------------------------------------------------------------

CppSQLite3DB::CppSQLite3DB(int nBusyTimeoutMs) : m_nBusyTimeoutMs(nBusyTimeoutMs) {}

CppSQLite3DB::CppSQLite3DB(CppSQLite3DB&& other) noexcept
    : m_pDB(std::exchange(other.m_pDB, nullptr)), m_nBusyTimeoutMs(other.m_nBusyTimeoutMs) {}

CppSQLite3DB& CppSQLite3DB::operator=(CppSQLite3DB&& other) noexcept {
    if (this != &other) {
        Close();
        m_pDB = std::exchange(other.m_pDB, nullptr);
        m_nBusyTimeoutMs = other.m_nBusyTimeoutMs;
    }
    return *this;
}

CppSQLite3DB::~CppSQLite3DB() { Close(); }

void CppSQLite3DB::Open(const std::wstring& strPath) {
    Close();
    sqlite3* pDB = nullptr;
    int rc = sqlite3_open16(strPath.c_str(), &pDB);
    if (rc != SQLITE_OK) {
        std::wstring detail = pDB ? ConnectionMessage(pDB) : std::wstring(L"out of memory");
        // A handle is returned even on failure and must be released.
        sqlite3_close(pDB);
        throw CppSQLite3Exception(rc, detail);
    }
    m_pDB = pDB;
    SetBusyTimeout(m_nBusyTimeoutMs);
}

void CppSQLite3DB::Close() noexcept {
    if (!m_pDB) return;
    // sqlite3_close_v2 never leaves the handle behind: a statement still alive (a query
    // outliving its connection) keeps it as a zombie until that statement is finalised.
    sqlite3_close_v2(m_pDB);
    m_pDB = nullptr;
}

void CppSQLite3DB::SetBusyTimeout(int nMillisecs) {
    m_nBusyTimeoutMs = nMillisecs;
    if (m_pDB) sqlite3_busy_timeout(m_pDB, nMillisecs);
}

void CppSQLite3DB::CheckDB() const {
    if (!m_pDB) throw CppSQLite3Exception(CPPSQLITE_ERROR, L"Database not open");
}

sqlite3_stmt* CppSQLite3DB::Compile(const std::wstring& strSql) {
    CheckDB();
    if (strSql.size() > static_cast<size_t>(INT_MAX / 2 - 1))
        throw CppSQLite3Exception(SQLITE_TOOBIG, L"statement too long");
    UniqueStatement vm;
    // The length is given in bytes, so the text is never read past its end.
    int rc = sqlite3_prepare16_v2(m_pDB, strSql.c_str(), static_cast<int>(strSql.size() * sizeof(wchar_t)), vm.put(),
                                  nullptr);
    if (rc != SQLITE_OK) throw CppSQLite3Exception(rc, ConnectionMessage(m_pDB));
    // Only white space or a comment: nothing to run.
    if (!vm) throw CppSQLite3Exception(CPPSQLITE_ERROR, L"Empty statement");
    return vm.release();
}

int CppSQLite3DB::ExecuteStatement(const std::wstring& strSql) {
    CheckDB();
    for (int attempt = 0;; ++attempt) {
        UniqueStatement vm(Compile(strSql));
        int rc = sqlite3_step(vm.get());
        if (rc == SQLITE_DONE || rc == SQLITE_ROW) {
            int changes = sqlite3_changes(m_pDB);
            rc = sqlite3_finalize(vm.release());
            if (rc == SQLITE_OK) return changes;
            if (rc == SQLITE_SCHEMA && attempt < kMaxSchemaRetries) continue;
            throw CppSQLite3Exception(rc, ConnectionMessage(m_pDB));
        }
        std::wstring detail = ConnectionMessage(m_pDB);
        int finalRc = sqlite3_finalize(vm.release());
        if (rc == SQLITE_ERROR) throw CppSQLite3Exception(SQLITE_ERROR, detail);
        if (finalRc == SQLITE_SCHEMA && attempt < kMaxSchemaRetries) continue;
        // A statement that did not run (busy, read-only, constraint, I/O) is a failure, never
        // a success.
        throw CppSQLite3Exception(finalRc != SQLITE_OK ? finalRc : rc, detail);
    }
}

CppSQLite3Query CppSQLite3DB::ExecuteQuery(const std::wstring& strSql) {
    CheckDB();
    for (int attempt = 0;; ++attempt) {
        UniqueStatement vm(Compile(strSql));
        int rc = sqlite3_step(vm.get());
        if (rc == SQLITE_DONE || rc == SQLITE_ROW) return CppSQLite3Query(m_pDB, vm.release(), rc == SQLITE_DONE, true);
        std::wstring detail = ConnectionMessage(m_pDB);
        int finalRc = sqlite3_finalize(vm.release());
        if (finalRc == SQLITE_SCHEMA && attempt < kMaxSchemaRetries) continue;
        throw CppSQLite3Exception(finalRc != SQLITE_OK ? finalRc : rc, detail);
    }
}
