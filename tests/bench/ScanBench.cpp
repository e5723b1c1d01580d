// Prints how fast a full scan is against the system's own association lookup. It fills the
// classes root of the Wine prefix it runs in with N generated extensions, so run it only in a
// throwaway prefix (scripts/bench does):
//   wine-run tests/bench/kv_scan_bench.exe [extensions] [seed]
// Figures: the engine's full-scan time and time per extension, the time per extension of
// AssocQueryStringW(ASSOCSTR_EXECUTABLE) over the same extensions, their ratio, and the peak
// working set.
#include <windows.h>
#include <psapi.h>
#include <shlwapi.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "assoc/FileExtRegUtil.h"
#include "engine/ExtScanner.h"
#include "store/DBManager.h"
#include "tests/fixtures/AssocFixture.h"
#include "tests/support/TempFolder.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double PeakWorkingSetMb() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return counters.PeakWorkingSetSize / (1024.0 * 1024.0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const size_t count = argc > 1 ? static_cast<size_t>(_wtoi(argv[1])) : 2000;
    const uint32_t seed = argc > 2 ? static_cast<uint32_t>(_wtoi(argv[2])) : 1;
    kvtest::TempFolder folder;
    kvfixture::CAssocFixture fixture({folder.File(L"programs")});
    fixture.GenerateRandom({seed, count, 0.2, 3});
    auto start = std::chrono::steady_clock::now();
    if (!fixture.CreateProgramFiles() || !fixture.WriteRegistry(win::RegistryRoots{})) {
        std::fwprintf(stderr, L"the generated registry could not be written\n");
        return 1;
    }
    std::wprintf(L"extensions generated: %zu (%zu ProgIDs), written in %.2f s\n", count, fixture.ProgIds().size(),
                 Seconds(start));
    kvfixture::ScopedFixtureEnvironment environment(fixture);

    // The production scan with its databases (empty tables) and dumps in a scratch folder.
    CEngineEnvironment env = CEngineEnvironment::Production();
    env.m_strDatabaseFolder = folder.File(L"db");
    env.m_strDumpFolder = folder.Path();
    {
        CDBManager db;
        db.Open(env.m_strDatabaseFolder);
    }
    if (_wgetenv(L"KV_BENCH_WARM")) {
        CFileExtRegUtil util(env.m_roots, env.m_platform);
        start = std::chrono::steady_clock::now();
        for (const auto& planted : fixture.Extensions()) {
            CFileExtension record(planted.name);
            util.ReadExtension(record);
        }
        std::wprintf(L"cold reader pass: %.3f ms per extension\n", Seconds(start) * 1000 / count);
    }
    CExtScanner scanner(env);
    start = std::chrono::steady_clock::now();
    if (!scanner.StartScanThread(L"", nullptr)) {
        std::fwprintf(stderr, L"the scan could not start\n");
        return 1;
    }
    scanner.WaitForScan();
    const double scanSeconds = Seconds(start);
    const size_t scanned = scanner.m_pResultList->size();
    size_t problems = 0;
    for (const IFileExtension* record : *scanner.m_pResultList)
        if (record->GetProblems()) ++problems;
    const double scanPerExt = scanSeconds * 1000 / scanned;
    std::wprintf(L"engine full scan: %.3f s for %zu extensions (%zu with problems), %.3f ms per extension\n",
                 scanSeconds, scanned, problems, scanPerExt);
    const double peakAfterScan = PeakWorkingSetMb();

    // Where the time goes: the reader alone, and the two database lookups per extension.
    {
        CFileExtRegUtil util(env.m_roots, env.m_platform);
        start = std::chrono::steady_clock::now();
        for (const IFileExtension* record : *scanner.m_pResultList) {
            CFileExtension copy(record->GetName());
            util.ReadExtension(copy);
        }
        const double readerSeconds = Seconds(start);
        CDBManager db;
        db.Open(env.m_strDatabaseFolder);
        start = std::chrono::steady_clock::now();
        for (const IFileExtension* record : *scanner.m_pResultList) {
            std::wstring category;
            db.IsIgnored(record->GetName());
            db.GetTypeName(record->GetName(), category);
        }
        const double dbSeconds = Seconds(start);
        std::wprintf(L"  for comparison: reader alone %.3f ms; the two per-extension queries the scan avoids %.3f ms per extension\n",
                     readerSeconds * 1000 / scanned, dbSeconds * 1000 / scanned);
    }

    // Baseline: the shell's own lookup of each extension's program, over the same extensions.
    std::vector<std::wstring> names;
    for (const IFileExtension* record : *scanner.m_pResultList) names.push_back(record->GetName());
    start = std::chrono::steady_clock::now();
    size_t found = 0;
    for (const auto& name : names) {
        wchar_t buffer[MAX_PATH * 2];
        DWORD length = ARRAYSIZE(buffer);
        if (SUCCEEDED(::AssocQueryStringW(ASSOCF_NONE, ASSOCSTR_EXECUTABLE, name.c_str(), nullptr, buffer, &length)))
            ++found;
    }
    const double baseSeconds = Seconds(start);
    const double basePerExt = baseSeconds * 1000 / names.size();
    std::wprintf(L"baseline AssocQueryStringW(ASSOCSTR_EXECUTABLE): %.3f s, %.3f ms per extension (%zu resolved)\n",
                 baseSeconds, basePerExt, found);
    std::wprintf(L"ratio engine / baseline per extension: %.2f\n", basePerExt > 0 ? scanPerExt / basePerExt : 0.0);
    std::wprintf(L"peak working set: %.1f MB after the scan, %.1f MB at the end\n", peakAfterScan, PeakWorkingSetMb());
    return 0;
}
