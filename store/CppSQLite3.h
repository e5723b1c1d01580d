#pragma once
// Thin wrapper over SQLite's UTF-16 interface. Errors are raised as CppSQLite3Exception; the
// database manager catches them, so they never leave the store module.
#include <string>

struct sqlite3;
struct sqlite3_stmt;

// Code of the wrapper's own errors ("Database not open", "Null Virtual Machine pointer", ...).
inline constexpr int CPPSQLITE_ERROR = 1000;

class CppSQLite3Exception {
public:
    // The message is "<code name>[<code>]: <detail>".
    CppSQLite3Exception(int nErrorCode, const std::wstring& strDetail);
    virtual ~CppSQLite3Exception();

    int ErrorCode() const { return m_nErrorCode; }
    const std::wstring& ErrorMessage() const { return m_strMessage; }

    // "SQLITE_OK" .. "SQLITE_NOTADB" for 0..26, "SQLITE_ROW", "SQLITE_DONE", "CPPSQLITE_ERROR",
    // otherwise "UNKNOWN_ERROR".
    static const wchar_t* ErrorCodeAsString(int nErrorCode);

private:
    int m_nErrorCode = 0;
    std::wstring m_strMessage;
};

// The rows of one statement. Move-only; destroying it finalises the statement.
class CppSQLite3Query {
public:
    CppSQLite3Query() = default;
    CppSQLite3Query(CppSQLite3Query&& other) noexcept;
    CppSQLite3Query& operator=(CppSQLite3Query&& other) noexcept;
    CppSQLite3Query(const CppSQLite3Query&) = delete;
    CppSQLite3Query& operator=(const CppSQLite3Query&) = delete;
    virtual ~CppSQLite3Query();

    int NumFields() const;
    // Column text of the current row; empty for NULL.
    std::wstring FieldText(int nField) const;
    bool FieldIsNull(int nField) const;
    bool AtEnd() const;
    void NextRow();
    // Releases the statement; later calls raise "Null Virtual Machine pointer".
    void Finalize();

private:
    friend class CppSQLite3DB;
    CppSQLite3Query(sqlite3* pDB, sqlite3_stmt* pVM, bool bEof, bool bOwnVM);
    void CheckVM() const;
    void CheckField(int nField) const;

    sqlite3* m_pDB = nullptr;
    sqlite3_stmt* m_pVM = nullptr;
    bool m_bEof = true;
    int m_nCols = 0;
    bool m_bOwnVM = false;
};

// One connection. Move-only; constructed closed, closed again by the destructor.
class CppSQLite3DB {
public:
    static constexpr int DEFAULT_BUSY_TIMEOUT_MS = 60000;

    explicit CppSQLite3DB(int nBusyTimeoutMs = DEFAULT_BUSY_TIMEOUT_MS);
    CppSQLite3DB(CppSQLite3DB&& other) noexcept;
    CppSQLite3DB& operator=(CppSQLite3DB&& other) noexcept;
    CppSQLite3DB(const CppSQLite3DB&) = delete;
    CppSQLite3DB& operator=(const CppSQLite3DB&) = delete;
    virtual ~CppSQLite3DB();

    // Opens or creates the file; an open connection is closed first.
    void Open(const std::wstring& strPath);
    // Closes quietly; nothing is raised.
    void Close() noexcept;
    bool IsOpen() const { return m_pDB != nullptr; }

    // Applies to the open connection and to every later Open.
    void SetBusyTimeout(int nMillisecs);
    int BusyTimeout() const { return m_nBusyTimeoutMs; }

    // A statement without result rows; returns the number of rows it changed.
    int ExecuteStatement(const std::wstring& strSql);
    // A statement with result rows, positioned on the first row (or at its end).
    CppSQLite3Query ExecuteQuery(const std::wstring& strSql);

private:
    sqlite3_stmt* Compile(const std::wstring& strSql);
    void CheckDB() const;

    sqlite3* m_pDB = nullptr;
    int m_nBusyTimeoutMs = DEFAULT_BUSY_TIMEOUT_MS;
};
