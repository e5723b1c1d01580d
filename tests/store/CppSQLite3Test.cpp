#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "store/CppSQLite3.h"
#include "tests/support/TempFolder.h"

namespace {

// Runs the call and returns the code of the exception it raised; -1 when it raised nothing.
template <class TFunction>
int RaisedCode(TFunction&& function, std::wstring* message = nullptr) {
    try {
        function();
    } catch (const CppSQLite3Exception& e) {
        if (message) *message = e.ErrorMessage();
        return e.ErrorCode();
    }
    return -1;
}

}  // namespace

TEST(CppSQLite3Exception, BuildsMessageFromCodeNameCodeAndDetail) {
    struct Case {
        int code;
        const wchar_t* message;
    } cases[] = {
        {0, L"SQLITE_OK[0]: detail"},
        {5, L"SQLITE_BUSY[5]: detail"},
        {17, L"SQLITE_SCHEMA[17]: detail"},
        {25, L"SQLITE_RANGE[25]: detail"},
        {26, L"SQLITE_NOTADB[26]: detail"},
        {100, L"SQLITE_ROW[100]: detail"},
        {101, L"SQLITE_DONE[101]: detail"},
        {1000, L"CPPSQLITE_ERROR[1000]: detail"},
        {27, L"UNKNOWN_ERROR[27]: detail"},
        {-1, L"UNKNOWN_ERROR[-1]: detail"},
        {2067, L"UNKNOWN_ERROR[2067]: detail"},
    };
    for (const auto& c : cases) {
        CppSQLite3Exception e(c.code, L"detail");
        EXPECT_EQ(e.ErrorCode(), c.code);
        EXPECT_EQ(e.ErrorMessage(), c.message);
    }
}

TEST(CppSQLite3DB, ClosedConnectionRaisesDatabaseNotOpen) {
    CppSQLite3DB db;
    EXPECT_FALSE(db.IsOpen());
    EXPECT_EQ(db.BusyTimeout(), 60000);
    std::wstring message;
    EXPECT_EQ(RaisedCode([&] { db.ExecuteStatement(L"CREATE TABLE t (a)"); }, &message), CPPSQLITE_ERROR);
    EXPECT_EQ(message, L"CPPSQLITE_ERROR[1000]: Database not open");
    EXPECT_EQ(RaisedCode([&] { db.ExecuteQuery(L"SELECT 1"); }), CPPSQLITE_ERROR);
}

TEST(CppSQLite3DB, RunsStatementsAndReadsRows) {
    kvtest::TempFolder folder;
    CppSQLite3DB db;
    db.Open(folder.File(L"a.db"));
    ASSERT_TRUE(db.IsOpen());
    EXPECT_EQ(db.ExecuteStatement(L"CREATE TABLE t (a TEXT, b INTEGER)"), 0);
    const std::wstring unusual = L"caf\u00e9 \u20ac \U0001F600 \u0436";
    EXPECT_EQ(db.ExecuteStatement(L"INSERT INTO t VALUES ('one', 1), ('" + unusual + L"', 2), (NULL, 3)"), 3);

    CppSQLite3Query query = db.ExecuteQuery(L"SELECT a, b FROM t ORDER BY b");
    ASSERT_FALSE(query.AtEnd());
    EXPECT_EQ(query.NumFields(), 2);
    EXPECT_EQ(query.FieldText(0), L"one");
    EXPECT_EQ(query.FieldText(1), L"1");
    query.NextRow();
    EXPECT_EQ(query.FieldText(0), unusual);
    query.NextRow();
    EXPECT_TRUE(query.FieldIsNull(0));
    EXPECT_EQ(query.FieldText(0), L"");
    query.NextRow();
    EXPECT_TRUE(query.AtEnd());

    EXPECT_TRUE(db.ExecuteQuery(L"SELECT a FROM t WHERE b > 10").AtEnd());
    EXPECT_EQ(db.ExecuteStatement(L"DELETE FROM t WHERE b >= 2"), 2);
}

TEST(CppSQLite3Query, RaisesOnBadFieldAndAfterFinalize) {
    kvtest::TempFolder folder;
    CppSQLite3DB db;
    db.Open(folder.File(L"a.db"));
    CppSQLite3Query query = db.ExecuteQuery(L"SELECT 1, 2");
    std::wstring message;
    for (int field : {-1, 2, 1000}) {
        EXPECT_EQ(RaisedCode([&] { query.FieldText(field); }, &message), CPPSQLITE_ERROR) << field;
        EXPECT_EQ(message, L"CPPSQLITE_ERROR[1000]: Invalid field index requested");
    }
    query.Finalize();
    EXPECT_EQ(RaisedCode([&] { query.AtEnd(); }, &message), CPPSQLITE_ERROR);
    EXPECT_EQ(message, L"CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer");
    EXPECT_EQ(RaisedCode([&] { query.NextRow(); }), CPPSQLITE_ERROR);
    EXPECT_EQ(RaisedCode([&] { query.FieldText(0); }), CPPSQLITE_ERROR);
    // A default query has no statement either.
    CppSQLite3Query empty;
    EXPECT_EQ(RaisedCode([&] { empty.NumFields(); }), CPPSQLITE_ERROR);
}

TEST(CppSQLite3DB, ReportsSqliteErrorsWithCodeAndMessage) {
    kvtest::TempFolder folder;
    CppSQLite3DB db;
    db.Open(folder.File(L"a.db"));
    db.ExecuteStatement(L"CREATE TABLE t (k TEXT PRIMARY KEY)");
    db.ExecuteStatement(L"INSERT INTO t VALUES ('x')");

    std::wstring message;
    EXPECT_EQ(RaisedCode([&] { db.ExecuteStatement(L"SELEC nonsense"); }, &message), 1);
    EXPECT_NE(message.find(L"syntax error"), std::wstring::npos) << message;
    EXPECT_EQ(RaisedCode([&] { db.ExecuteQuery(L"SELECT * FROM missing"); }, &message), 1);
    EXPECT_NE(message.find(L"no such table"), std::wstring::npos) << message;
    // A statement that was refused must not look like one that ran.
    EXPECT_EQ(RaisedCode([&] { db.ExecuteStatement(L"INSERT INTO t VALUES ('x')"); }, &message), 19);
    EXPECT_EQ(message.rfind(L"SQLITE_CONSTRAINT[19]: ", 0), 0u) << message;
    EXPECT_EQ(RaisedCode([&] { db.ExecuteStatement(L"   "); }), CPPSQLITE_ERROR);
    // The connection stays usable after errors.
    EXPECT_EQ(db.ExecuteStatement(L"INSERT INTO t VALUES ('y')"), 1);
}

TEST(CppSQLite3DB, OpenFailsForMissingFolderAndStatementsFailOnForeignFile) {
    kvtest::TempFolder folder;
    CppSQLite3DB db;
    EXPECT_EQ(RaisedCode([&] { db.Open(folder.File(L"no such folder\\a.db")); }), 14);
    EXPECT_FALSE(db.IsOpen());

    std::string text = "This is a text file, not a database. ";
    for (int i = 0; i < 6; ++i) text += text;
    std::wstring path = folder.WriteFile(L"text.db", text);
    db.Open(path);
    EXPECT_EQ(RaisedCode([&] { db.ExecuteQuery(L"SELECT * FROM sqlite_master"); }), 26);
    EXPECT_EQ(RaisedCode([&] { db.ExecuteStatement(L"CREATE TABLE t (a)"); }), 26);
    db.Close();
    EXPECT_EQ(kvtest::ReadFileBytes(path), text);
}

TEST(CppSQLite3DB, LockedDatabaseFailsAfterBusyTimeoutAndWorksOnceUnlocked) {
    kvtest::TempFolder folder;
    std::wstring path = folder.File(L"a.db");
    CppSQLite3DB holder;
    holder.Open(path);
    holder.ExecuteStatement(L"CREATE TABLE t (a)");
    holder.ExecuteStatement(L"BEGIN EXCLUSIVE");
    holder.ExecuteStatement(L"INSERT INTO t VALUES (1)");

    CppSQLite3DB db(50);
    db.Open(path);
    EXPECT_EQ(RaisedCode([&] { db.ExecuteStatement(L"INSERT INTO t VALUES (2)"); }), 5);
    EXPECT_EQ(RaisedCode([&] { db.ExecuteQuery(L"SELECT * FROM t"); }), 5);

    holder.ExecuteStatement(L"COMMIT");
    EXPECT_EQ(db.ExecuteStatement(L"INSERT INTO t VALUES (2)"), 1);
    CppSQLite3Query query = db.ExecuteQuery(L"SELECT count(*) FROM t");
    EXPECT_EQ(query.FieldText(0), L"2");
}

TEST(CppSQLite3DB, MovedConnectionAndQueryKeepWorking) {
    kvtest::TempFolder folder;
    CppSQLite3DB first;
    first.Open(folder.File(L"a.db"));
    CppSQLite3DB second(std::move(first));
    EXPECT_FALSE(first.IsOpen());
    ASSERT_TRUE(second.IsOpen());
    CppSQLite3Query query = second.ExecuteQuery(L"SELECT 'kept'");
    CppSQLite3Query moved = std::move(query);
    EXPECT_EQ(moved.FieldText(0), L"kept");
    EXPECT_EQ(RaisedCode([&] { query.FieldText(0); }), CPPSQLITE_ERROR);
}
