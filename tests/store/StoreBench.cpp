// Figures of the database manager on real files: opening, the scanner's lookups over every
// extension of the generated database, the ignore check, and history writes, against the same
// writes with synchronous writing left on. Prints figures; asserts nothing.
//   kv_store_bench [path of kv_db.db]
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "store/DBManager.h"
#include "tests/support/TempFolder.h"

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now;
}

void Report(const char* what, int count, double seconds) {
    std::printf("%-52s %7d in %8.3f s  %10.1f us each  %10.0f per second\n", what, count, seconds,
                seconds * 1e6 / count, count / seconds);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    kvtest::TempFolder folder;
    std::wstring source = argc > 1 ? argv[1] : KV_EXTENSION_DB;
    if (!::CopyFileW(source.c_str(), folder.File(L"kv_db.db").c_str(), FALSE)) {
        std::fwprintf(stderr, L"cannot copy %ls\n", source.c_str());
        return 1;
    }

    LARGE_INTEGER start = Now();
    CDBManager db;
    if (!db.Open(folder.Path())) {
        std::fwprintf(stderr, L"cannot open the databases\n");
        return 1;
    }
    Report("Open (three databases, ignore and history created)", 1, Seconds(start, Now()));

    std::vector<std::wstring> extensions;
    {
        CppSQLite3DB raw;
        raw.Open(folder.File(L"kv_db.db"));
        for (CppSQLite3Query query = raw.ExecuteQuery(L"SELECT ext FROM extension"); !query.AtEnd(); query.NextRow())
            extensions.push_back(L"." + query.FieldText(0));
    }
    std::vector<std::wstring> mustScan;
    start = Now();
    db.GetMustScanExtensions(mustScan);
    Report("GetMustScanExtensions", 1, Seconds(start, Now()));

    start = Now();
    int found = 0;
    for (const auto& ext : extensions) {
        std::wstring name;
        found += db.GetTypeName(ext, name);
    }
    Report("GetTypeName over every extension", static_cast<int>(extensions.size()), Seconds(start, Now()));
    start = Now();
    for (const auto& ext : extensions) found += db.GetDefaultFileType(ext).empty() ? 0 : 1;
    Report("GetDefaultFileType over every extension", static_cast<int>(extensions.size()), Seconds(start, Now()));

    for (size_t i = 0; i < extensions.size(); i += 2) db.AddIgnored(extensions[i], L"data file type");
    start = Now();
    int ignored = 0;
    for (const auto& ext : extensions) ignored += db.IsIgnored(ext);
    Report("IsIgnored over every extension (half listed)", static_cast<int>(extensions.size()), Seconds(start, Now()));

    constexpr int kEvents = 1000;
    start = Now();
    for (int i = 0; i < kEvents; ++i) db.AddHistoryEvent(L"Extension fixed:  event " + std::to_wstring(i));
    Report("AddHistoryEvent, synchronous=OFF", kEvents, Seconds(start, Now()));

    // Baseline: the same inserts on a connection that keeps synchronous writing on.
    CppSQLite3DB baseline;
    baseline.Open(folder.File(L"baseline.db"));
    baseline.ExecuteStatement(L"PRAGMA synchronous=FULL;");
    baseline.ExecuteStatement(L"CREATE TABLE events (event TEXT, eventtime TEXT DEFAULT CURRENT_TIMESTAMP)");
    start = Now();
    for (int i = 0; i < kEvents; ++i)
        baseline.ExecuteStatement(L"insert into events (event) values ('Extension fixed:  event " + std::to_wstring(i) +
                                  L"')");
    Report("baseline: the same inserts, synchronous=FULL", kEvents, Seconds(start, Now()));

    std::vector<std::wstring> history;
    start = Now();
    db.GetHistory(&history);
    Report("GetHistory", static_cast<int>(history.size()), Seconds(start, Now()));

    std::printf("%zu extensions, %zu must-scan, %d answers, %d ignored\n", extensions.size(), mustScan.size(), found,
                ignored);
    return 0;
}
