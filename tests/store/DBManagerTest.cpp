#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "store/DBManager.h"
#include "tests/support/TempFolder.h"
#include "win/Paths.h"
#include "win/UniqueHandle.h"

namespace {

// Fills the extension database of a folder the way the installed file is filled.
void FillExtensionDatabase(const std::wstring& folder) {
    CppSQLite3DB db;
    db.Open(win::JoinPath(folder, L"kv_db.db"));
    db.ExecuteStatement(L"INSERT INTO type (id, name) VALUES (1, 'document file type'), (2, 'audio file type'), "
                        L"(3, 'text file type')");
    db.ExecuteStatement(
        L"INSERT INTO extension (ext, type_id, default_filetype, must_scan) VALUES "
        L"('pdf', 1, 'AcroExch.Document', 1), ('mp3', 2, 'mp3file', 1), ('txt', 3, 'txtfile', 0), "
        L"('o''brien', 3, 'quote''file', 1), ('nodefault', 3, NULL, 0), ('orphan', 99, 'orphanfile', 0)");
}

std::vector<std::wstring> History(CDBManager& db) {
    std::vector<std::wstring> events;
    EXPECT_EQ(db.GetHistory(&events), 1);
    return events;
}

std::vector<std::wstring> IgnoredExtensions(CDBManager& db) {
    std::vector<std::unique_ptr<CIgnoredItem>> items;
    EXPECT_EQ(db.GetIgnoredItems(&items), 1);
    std::vector<std::wstring> names;
    for (const auto& item : items) names.push_back(item->m_strExtension + L"|" + item->m_strCategory);
    return names;
}

// What an association record offers to the ignore list.
struct FakeRecord {
    std::wstring name, description;
    const std::wstring& GetName() const { return name; }
    const std::wstring& GetDescription() const { return description; }
};

class DBManagerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(m_db.Open(m_folder.Path()), 1);
        FillExtensionDatabase(m_folder.Path());
    }
    kvtest::TempFolder m_folder;
    CDBManager m_db;
};

}  // namespace

TEST(QuoteSql, DoublesEverySingleQuote) {
    EXPECT_EQ(QuoteSql(L""), L"");
    EXPECT_EQ(QuoteSql(L".txt"), L".txt");
    EXPECT_EQ(QuoteSql(L"'"), L"''");
    EXPECT_EQ(QuoteSql(L"a'b''c'"), L"a''b''''c''");
}

TEST(CDBManager, DefaultFolderIsKavendorUnderCommonApplicationData) {
    std::wstring common = win::ShellFolder(CSIDL_COMMON_APPDATA);
    ASSERT_FALSE(common.empty());
    EXPECT_EQ(CDBManager::DefaultFolder(), win::JoinPath(common, L"Kavendor"));
}

TEST(CDBManager, FormatsHistoryLineWithLocalDateAndTime) {
    SYSTEMTIME time{};
    time.wYear = 2009;
    time.wMonth = 3;
    time.wDay = 7;
    time.wHour = 14;
    time.wMinute = 5;
    time.wSecond = 59;
    EXPECT_EQ(CDBManager::FormatHistoryEvent(time, L"Extension fixed:  Kavendor Scan fixed a problem with extension .pdf"),
              L"2009-03-07 14:05, Extension fixed:  Kavendor Scan fixed a problem with extension .pdf");
    time.wMonth = 12;
    time.wDay = 31;
    time.wHour = 0;
    time.wMinute = 0;
    EXPECT_EQ(CDBManager::FormatHistoryEvent(time, L"100% done %s"), L"2009-12-31 00:00, 100% done %s");
}

TEST_F(DBManagerTest, LooksUpExtensionsWithOrWithoutOneLeadingDot) {
    struct Case {
        const wchar_t* ext;
        const wchar_t* type;  // null: no row
        const wchar_t* fileType;
    } cases[] = {
        {L".pdf", L"document file type", L"AcroExch.Document"},
        {L"pdf", L"document file type", L"AcroExch.Document"},
        {L"..pdf", nullptr, L""},
        {L".o'brien", L"text file type", L"quote'file"},
        {L"o'brien", L"text file type", L"quote'file"},
        {L".nodefault", L"text file type", L""},
        {L".orphan", nullptr, L"orphanfile"},
        {L".unknown", nullptr, L""},
        {L"", nullptr, L""},
        {L"'", nullptr, L""},
        {L"x' OR '1'='1", nullptr, L""},
    };
    for (const auto& c : cases) {
        std::wstring name = L"untouched";
        EXPECT_EQ(m_db.GetTypeName(c.ext, name), c.type ? 1 : 0) << c.ext;
        EXPECT_EQ(name, c.type ? c.type : L"untouched") << c.ext;
        EXPECT_EQ(m_db.GetDefaultFileType(c.ext), c.fileType) << c.ext;
    }
}

TEST_F(DBManagerTest, ListsMustScanExtensionsWithLeadingDot) {
    std::vector<std::wstring> list = {L".keep"};
    EXPECT_EQ(m_db.GetMustScanExtensions(list), 1);
    std::sort(list.begin(), list.end());
    EXPECT_EQ(list, (std::vector<std::wstring>{L".keep", L".mp3", L".o'brien", L".pdf"}));
}

TEST_F(DBManagerTest, IgnoreListAddsOnceFindsRemovesAndClears) {
    EXPECT_EQ(m_db.IsIgnored(L".pdf"), 0);
    std::vector<std::wstring> names = IgnoredExtensions(m_db);
    EXPECT_TRUE(names.empty());

    EXPECT_EQ(m_db.AddIgnored(L".pdf", L"document file type"), 1);
    EXPECT_EQ(m_db.AddIgnored(L".pdf", L"other text"), 1);
    FakeRecord quoted{L".it's", L"o'clock file type"};
    EXPECT_EQ(m_db.AddIgnored(&quoted), 1);
    FakeRecord hostile{L".x'); delete from ignoreditems; --", L"'"};
    EXPECT_EQ(m_db.AddIgnored(&hostile), 1);
    EXPECT_EQ(m_db.AddIgnored(static_cast<const FakeRecord*>(nullptr)), 0);

    EXPECT_EQ(IgnoredExtensions(m_db), (std::vector<std::wstring>{L".pdf|document file type",
                                                                 L".it's|o'clock file type",
                                                                 L".x'); delete from ignoreditems; --|'"}));
    EXPECT_EQ(m_db.IsIgnored(L".pdf"), 1);
    EXPECT_EQ(m_db.IsIgnored(L".it's"), 1);
    EXPECT_EQ(m_db.IsIgnored(hostile.name), 1);
    // The ignore list keeps the record's form: the dot belongs to the name.
    EXPECT_EQ(m_db.IsIgnored(L"pdf"), 0);

    CIgnoredItem item(L".it's", L"");
    EXPECT_EQ(m_db.RemoveIgnored(&item), 1);
    EXPECT_EQ(m_db.IsIgnored(L".it's"), 0);
    EXPECT_EQ(m_db.IsIgnored(L".pdf"), 1);
    EXPECT_EQ(m_db.RemoveIgnored(static_cast<const CIgnoredItem*>(nullptr)), 0);

    EXPECT_EQ(m_db.ClearIgnored(), 1);
    EXPECT_TRUE(IgnoredExtensions(m_db).empty());
    EXPECT_EQ(m_db.GetIgnoredItems(nullptr), 0);
}

TEST_F(DBManagerTest, HistoryKeepsOrderPrefixesTimeAndSkipsEmptyText) {
    EXPECT_TRUE(History(m_db).empty());
    EXPECT_EQ(m_db.AddHistoryEvent(L""), 0);
    std::vector<std::wstring> texts;
    for (int i = 0; i < 60; ++i) texts.push_back(L"event " + std::to_wstring(i) + L" for '.x' at 100%");
    for (const auto& text : texts) EXPECT_EQ(m_db.AddHistoryEvent(text), 1);

    std::vector<std::wstring> events = History(m_db);
    ASSERT_EQ(events.size(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::wstring& line = events[i];
        // "yyyy-mm-dd hh:mm, " then the text.
        ASSERT_EQ(line.size(), 18 + texts[i].size()) << line;
        EXPECT_EQ(line.substr(18), texts[i]);
        for (size_t pos : {4u, 7u}) EXPECT_EQ(line[pos], L'-') << line;
        EXPECT_EQ(line.substr(10, 1), L" ");
        EXPECT_EQ(line.substr(13, 1), L":");
        EXPECT_EQ(line.substr(16, 2), L", ");
        for (size_t pos : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u, 11u, 12u, 14u, 15u}) EXPECT_TRUE(iswdigit(line[pos])) << line;
    }
    std::vector<std::wstring> appended = {L"kept"};
    EXPECT_EQ(m_db.GetHistory(&appended), 1);
    EXPECT_EQ(appended.size(), texts.size() + 1);
    EXPECT_EQ(appended.front(), L"kept");
    EXPECT_EQ(m_db.GetHistory(nullptr), 0);

    EXPECT_EQ(m_db.ClearHistory(), 1);
    EXPECT_TRUE(History(m_db).empty());
}

TEST_F(DBManagerTest, HistoryEventsOfTheSameInstantKeepTheirOrder) {
    {
        CppSQLite3DB raw;
        raw.Open(m_folder.File(L"kv_history.db"));
        raw.ExecuteStatement(L"INSERT INTO events (event, eventtime) VALUES ('late', '2030-01-01 00:00:00.000')");
        for (int i = 0; i < 40; ++i)
            raw.ExecuteStatement(L"INSERT INTO events (event, eventtime) VALUES ('same " + std::to_wstring(i) +
                                 L"', '2020-05-05 10:10:10.100')");
        raw.ExecuteStatement(L"INSERT INTO events (event, eventtime) VALUES ('early', '2010-01-01 00:00:00.000')");
    }
    std::vector<std::wstring> expected = {L"early"};
    for (int i = 0; i < 40; ++i) expected.push_back(L"same " + std::to_wstring(i));
    expected.push_back(L"late");
    EXPECT_EQ(History(m_db), expected);
}

TEST_F(DBManagerTest, DataSurvivesReopeningByAnotherManager) {
    m_db.AddIgnored(L".mp3", L"audio file type");
    m_db.AddHistoryEvent(L"first");
    m_db.Close();
    EXPECT_EQ(m_db.IsIgnored(L".mp3"), 0);  // closed: answers as if nothing were there

    CDBManager other;
    ASSERT_EQ(other.Open(m_folder.Path()), 1);
    EXPECT_EQ(other.IsIgnored(L".mp3"), 1);
    ASSERT_EQ(History(other).size(), 1u);
    EXPECT_EQ(other.GetDefaultFileType(L".mp3"), L"mp3file");
}

TEST(CDBManager, EmptyDatabasesAnswerNothingAndAcceptWrites) {
    kvtest::TempFolder folder;
    CDBManager db;
    ASSERT_EQ(db.Open(folder.Path()), 1);
    for (const wchar_t* name : {L"kv_db.db", L"kv_ignore.db", L"kv_history.db"})
        EXPECT_TRUE(win::FileExists(folder.File(name))) << name;
    std::wstring name = L"untouched";
    EXPECT_EQ(db.GetTypeName(L".pdf", name), 0);
    EXPECT_EQ(name, L"untouched");
    EXPECT_EQ(db.GetDefaultFileType(L".pdf"), L"");
    std::vector<std::wstring> list;
    EXPECT_EQ(db.GetMustScanExtensions(list), 1);
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(IgnoredExtensions(db).empty());
    EXPECT_TRUE(History(db).empty());
    EXPECT_EQ(db.AddIgnored(L".pdf", L"document file type"), 1);
    EXPECT_EQ(db.AddHistoryEvent(L"written"), 1);
    EXPECT_EQ(db.IsIgnored(L".pdf"), 1);
    EXPECT_EQ(History(db).size(), 1u);
}

TEST(CDBManager, CreatesMissingDatabasesFolder) {
    kvtest::TempFolder folder;
    std::wstring databases = folder.File(L"ProgramData\\Kavendor");
    CDBManager db;
    ASSERT_EQ(db.Open(databases), 1);
    EXPECT_TRUE(win::DirectoryExists(databases));
    EXPECT_EQ(db.AddIgnored(L".zip", L"archive file type"), 1);
    EXPECT_EQ(db.IsIgnored(L".zip"), 1);
}

// Every operation answers its failure result and raises nothing.
void ExpectEveryOperationFailsQuietly(CDBManager& db) {
    std::wstring name = L"untouched";
    EXPECT_EQ(db.GetTypeName(L".pdf", name), 0);
    EXPECT_EQ(name, L"untouched");
    EXPECT_EQ(db.GetDefaultFileType(L".pdf"), L"");
    std::vector<std::wstring> list = {L".keep"};
    EXPECT_EQ(db.GetMustScanExtensions(list), 0);
    EXPECT_EQ(list, std::vector<std::wstring>{L".keep"});
    EXPECT_EQ(db.IsIgnored(L".pdf"), 0);
    EXPECT_EQ(db.AddIgnored(L".pdf", L"document file type"), 0);
    EXPECT_EQ(db.RemoveIgnored(L".pdf"), 0);
    EXPECT_EQ(db.ClearIgnored(), 0);
    std::vector<std::unique_ptr<CIgnoredItem>> items;
    EXPECT_EQ(db.GetIgnoredItems(&items), 0);
    EXPECT_TRUE(items.empty());
    std::vector<std::wstring> events;
    EXPECT_EQ(db.GetHistory(&events), 0);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(db.ClearHistory(), 0);
    EXPECT_EQ(db.AddHistoryEvent(L"lost"), 0);
}

TEST(CDBManager, EveryOperationFailsQuietlyWhenTheFolderCannotExist) {
    kvtest::TempFolder folder;
    // A file where the folder should be.
    std::wstring blocked = folder.WriteFile(L"Kavendor", "not a folder");
    CDBManager db;
    EXPECT_EQ(db.Open(blocked), 0);
    ExpectEveryOperationFailsQuietly(db);
    EXPECT_EQ(db.Open(L""), 0);
    ExpectEveryOperationFailsQuietly(db);
    CDBManager neverOpened;
    ExpectEveryOperationFailsQuietly(neverOpened);
    EXPECT_EQ(kvtest::ReadFileBytes(blocked), "not a folder");
}

TEST(CDBManager, ForeignFilesAreLeftAloneAndTheOtherDatabasesStillWork) {
    const std::string garbage(4096, 'G');
    struct Case {
        const wchar_t* file;
        bool extensionsWork, ignoreWorks, historyWorks;
    } cases[] = {
        {L"kv_db.db", false, true, true},
        {L"kv_ignore.db", true, false, true},
        {L"kv_history.db", true, true, false},
    };
    for (const auto& c : cases) {
        kvtest::TempFolder folder;
        {
            CDBManager setup;
            ASSERT_EQ(setup.Open(folder.Path()), 1);
        }
        FillExtensionDatabase(folder.Path());
        std::wstring damaged = folder.WriteFile(c.file, garbage);

        CDBManager db;
        EXPECT_EQ(db.Open(folder.Path()), 0) << c.file;
        EXPECT_EQ(db.GetDefaultFileType(L".pdf"), c.extensionsWork ? L"AcroExch.Document" : L"") << c.file;
        EXPECT_EQ(db.AddIgnored(L".pdf", L"document file type"), c.ignoreWorks ? 1 : 0) << c.file;
        EXPECT_EQ(db.IsIgnored(L".pdf"), c.ignoreWorks ? 1 : 0) << c.file;
        EXPECT_EQ(db.AddHistoryEvent(L"event"), c.historyWorks ? 1 : 0) << c.file;
        std::vector<std::wstring> events;
        EXPECT_EQ(db.GetHistory(&events), c.historyWorks ? 1 : 0) << c.file;
        db.Close();
        EXPECT_EQ(kvtest::ReadFileBytes(damaged), garbage) << c.file;
    }
}

TEST(CDBManager, InstalledTablesAreUsedAsTheyAre) {
    kvtest::TempFolder folder;
    const wchar_t* ignoreTable = L"CREATE TABLE ignoreditems (extension VARCHAR(64), type VARCHAR(64), added INTEGER)";
    {
        CppSQLite3DB raw;
        raw.Open(folder.File(L"kv_ignore.db"));
        raw.ExecuteStatement(ignoreTable);
        raw.ExecuteStatement(L"INSERT INTO ignoreditems VALUES ('.old', 'backup file type', 7)");
        CppSQLite3DB history;
        history.Open(folder.File(L"kv_history.db"));
        history.ExecuteStatement(L"CREATE TABLE events (event TEXT, eventtime DATETIME DEFAULT CURRENT_TIMESTAMP)");
    }
    CDBManager db;
    ASSERT_EQ(db.Open(folder.Path()), 1);
    EXPECT_EQ(IgnoredExtensions(db), std::vector<std::wstring>{L".old|backup file type"});
    EXPECT_EQ(db.AddHistoryEvent(L"on an installed table"), 1);
    EXPECT_EQ(History(db).size(), 1u);
    db.Close();

    CppSQLite3DB raw;
    raw.Open(folder.File(L"kv_ignore.db"));
    CppSQLite3Query query = raw.ExecuteQuery(L"SELECT sql FROM sqlite_master WHERE name='ignoreditems'");
    EXPECT_EQ(query.FieldText(0), ignoreTable);
    EXPECT_TRUE(raw.ExecuteQuery(L"SELECT name FROM sqlite_master WHERE type='index'").AtEnd());
}

TEST(CDBManager, NullValuesOfAnInstalledDatabaseGiveEmptyTexts) {
    kvtest::TempFolder folder;
    {
        CppSQLite3DB raw;
        raw.Open(folder.File(L"kv_db.db"));
        raw.ExecuteStatement(L"CREATE TABLE type (id, name)");
        raw.ExecuteStatement(L"CREATE TABLE extension (ext, type_id, default_filetype, must_scan)");
        raw.ExecuteStatement(L"INSERT INTO type VALUES (1, NULL)");
        raw.ExecuteStatement(L"INSERT INTO extension VALUES ('blank', 1, NULL, 1), (NULL, 1, 'x', 1)");
    }
    CDBManager db;
    ASSERT_EQ(db.Open(folder.Path()), 1);
    std::wstring name = L"untouched";
    EXPECT_EQ(db.GetTypeName(L".blank", name), 1);
    EXPECT_EQ(name, L"");
    EXPECT_EQ(db.GetDefaultFileType(L".blank"), L"");
    std::vector<std::wstring> list;
    EXPECT_EQ(db.GetMustScanExtensions(list), 1);
    std::sort(list.begin(), list.end());
    EXPECT_EQ(list, (std::vector<std::wstring>{L".", L".blank"}));
}

TEST_F(DBManagerTest, UnusualTextsAreStoredIntactOrRefusedWithoutHarm) {
    const std::wstring longExt = L"." + std::wstring(70000, L'x') + L"'";
    const std::wstring unicodeExt = L".\u00e9\u20ac\U0001F600";
    for (const std::wstring& ext : {longExt, unicodeExt}) {
        EXPECT_EQ(m_db.AddIgnored(ext, L"data file type"), 1);
        EXPECT_EQ(m_db.IsIgnored(ext), 1);
    }
    EXPECT_EQ(m_db.AddHistoryEvent(longExt), 1);

    // An embedded NUL never reaches the table and never cuts a statement short.
    const std::wstring withNul(L".a\0b') or ('1'='1", 18);
    EXPECT_EQ(m_db.AddIgnored(withNul, L"x"), 0);
    EXPECT_EQ(m_db.IsIgnored(withNul), 0);
    EXPECT_EQ(m_db.RemoveIgnored(withNul), 0);
    EXPECT_EQ(m_db.AddHistoryEvent(withNul), 0);
    std::wstring name = L"untouched";
    EXPECT_EQ(m_db.GetTypeName(withNul, name), 0);
    EXPECT_EQ(name, L"untouched");

    EXPECT_EQ(IgnoredExtensions(m_db).size(), 2u);
    std::vector<std::wstring> history = History(m_db);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].substr(18), longExt);
}

// Another connection that writes to a database and holds its lock until released.
class CLockHolder {
public:
    explicit CLockHolder(const std::wstring& path)
        : m_locked(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_release(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        m_thread = std::thread([this, path] {
            CppSQLite3DB other;
            other.Open(path);
            other.ExecuteStatement(L"BEGIN EXCLUSIVE");
            other.ExecuteStatement(L"INSERT INTO events (event) VALUES ('from the other connection')");
            ::SetEvent(m_locked.get());
            ::WaitForSingleObject(m_release.get(), INFINITE);
            ::Sleep(200);  // still holding the lock when the waiting write starts
            other.ExecuteStatement(L"COMMIT");
        });
        ::WaitForSingleObject(m_locked.get(), INFINITE);
    }
    ~CLockHolder() { Release(); }
    void Release() {
        ::SetEvent(m_release.get());
        if (m_thread.joinable()) m_thread.join();
    }
    void ReleaseLater() { ::SetEvent(m_release.get()); }

private:
    win::UniqueKernelHandle m_locked;
    win::UniqueKernelHandle m_release;
    std::thread m_thread;
};

TEST(CDBManager, WaitsForAnotherConnectionsWriteLock) {
    kvtest::TempFolder folder;
    CDBManager patient(30000);
    ASSERT_EQ(patient.Open(folder.Path()), 1);
    CLockHolder holder(folder.File(L"kv_history.db"));

    // A short time-out gives up while the lock is held: opening reports it, the write is lost,
    // and the other two databases are unaffected.
    CDBManager impatient(50);
    EXPECT_EQ(impatient.Open(folder.Path()), 0);
    EXPECT_EQ(impatient.AddHistoryEvent(L"too early"), 0);
    std::vector<std::wstring> events;
    EXPECT_EQ(impatient.GetHistory(&events), 0);
    EXPECT_EQ(impatient.AddIgnored(L".pdf", L"document file type"), 1);

    // A long one waits until the other connection commits.
    holder.ReleaseLater();
    EXPECT_EQ(patient.AddHistoryEvent(L"after the lock"), 1);
    holder.Release();

    std::vector<std::wstring> history = History(patient);
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0], L"from the other connection");
    EXPECT_EQ(history[1].substr(18), L"after the lock");
    // The impatient connection serves once the lock is gone.
    EXPECT_EQ(impatient.AddHistoryEvent(L"later"), 1);
    EXPECT_EQ(History(impatient).size(), 3u);
}

TEST(CDBManager, ManagersOnSeveralThreadsAllWrite) {
    kvtest::TempFolder folder;
    constexpr int kThreads = 3;
    constexpr int kEvents = 40;
    std::vector<std::thread> threads;
    std::vector<int> written(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            CDBManager db;
            if (!db.Open(folder.Path())) return;
            for (int i = 0; i < kEvents; ++i) {
                written[t] += db.AddHistoryEvent(L"thread " + std::to_wstring(t) + L" event " + std::to_wstring(i));
                db.AddIgnored(L".t" + std::to_wstring(i), L"data file type");
            }
        });
    }
    for (auto& thread : threads) thread.join();
    CDBManager db;
    ASSERT_EQ(db.Open(folder.Path()), 1);
    EXPECT_EQ(written, std::vector<int>(kThreads, kEvents));
    std::vector<std::wstring> history = History(db);
    EXPECT_EQ(history.size(), static_cast<size_t>(kThreads * kEvents));
    // Each thread's own events come back in the order it wrote them.
    for (int t = 0; t < kThreads; ++t) {
        int next = 0;
        std::wstring prefix = L"thread " + std::to_wstring(t) + L" event ";
        for (const auto& line : history) {
            if (line.compare(18, prefix.size(), prefix) == 0) {
                EXPECT_EQ(line.substr(18 + prefix.size()), std::to_wstring(next)) << line;
                ++next;
            }
        }
        EXPECT_EQ(next, kEvents);
    }
    EXPECT_GE(IgnoredExtensions(db).size(), static_cast<size_t>(kEvents));
}
