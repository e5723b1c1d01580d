// Prints how fast a full scan is against the system's own association lookup. It fills the
// classes root of the Wine prefix it runs in with N generated extensions, so run it only in a
// throwaway prefix (scripts/bench does):
//   wine-run tests/bench/kv_scan_bench.exe [extensions] [seed] [rounds]
// Figures: the engine's full-scan time and time per extension, the time per extension of
// AssocQueryStringW(ASSOCSTR_EXECUTABLE) over the same extensions, their ratio, and the peak
// working set.
#include <windows.h>
#include <psapi.h>
#include <shlwapi.h>

#include <algorithm>
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
    const int rounds = argc > 3 ? std::max(1, _wtoi(argv[3])) : 3;
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
    // Rounds of the scan and of the baseline alternate, so a busy machine weighs on both alike;
    // the best round of each is compared.
    CExtScanner scanner(env);
    std::vector<std::wstring> names;
    double bestScan = 1e30, bestBase = 1e30;
    size_t scanned = 0, problems = 0, found = 0;
    double peakAfterScan = 0;
    for (int round = 1; round <= rounds; ++round) {
        start = std::chrono::steady_clock::now();
        if (!scanner.StartScanThread(L"", nullptr)) {
            std::fwprintf(stderr, L"the scan could not start\n");
            return 1;
        }
        scanner.WaitForScan();
        const double scanSeconds = Seconds(start);
        scanned = scanner.m_pResultList->size();
        problems = 0;
        names.clear();
        for (const IFileExtension* record : *scanner.m_pResultList) {
            if (record->GetProblems()) ++problems;
            names.push_back(record->GetName());
        }
        if (round == 1) peakAfterScan = PeakWorkingSetMb();

        // Baseline: the shell's own lookup of each extension's program, over the same extensions.
        start = std::chrono::steady_clock::now();
        found = 0;
        for (const auto& name : names) {
            wchar_t buffer[MAX_PATH * 2];
            DWORD length = ARRAYSIZE(buffer);
            if (SUCCEEDED(::AssocQueryStringW(ASSOCF_NONE, ASSOCSTR_EXECUTABLE, name.c_str(), nullptr, buffer, &length)))
                ++found;
        }
        const double baseSeconds = Seconds(start);
        std::wprintf(L"round %d: scan %.3f s, baseline %.3f s\n", round, scanSeconds, baseSeconds);
        bestScan = std::min(bestScan, scanSeconds);
        bestBase = std::min(bestBase, baseSeconds);
    }
    const double scanPerExt = bestScan * 1000 / scanned;
    const double basePerExt = bestBase * 1000 / scanned;
    std::wprintf(L"engine full scan: %.3f s for %zu extensions (%zu with problems), %.3f ms per extension\n", bestScan,
                 scanned, problems, scanPerExt);
    std::wprintf(L"baseline AssocQueryStringW(ASSOCSTR_EXECUTABLE): %.3f s, %.3f ms per extension (%zu resolved)\n",
                 bestBase, basePerExt, found);
    std::wprintf(L"ratio engine / baseline per extension: %.2f\n", basePerExt > 0 ? scanPerExt / basePerExt : 0.0);

    // What the scan no longer pays: the reader without its per-scan resolve cache, and the two
    // database queries per extension that the scan replaced by one query each.
    {
        CFileExtRegUtil util(env.m_roots, env.m_platform);
        start = std::chrono::steady_clock::now();
        for (const auto& name : names) {
            CFileExtension record(name);
            util.ReadExtension(record);
        }
        const double readerSeconds = Seconds(start);
        CDBManager db;
        db.Open(env.m_strDatabaseFolder);
        start = std::chrono::steady_clock::now();
        for (const auto& name : names) {
            std::wstring category;
            db.IsIgnored(name);
            db.GetTypeName(name, category);
        }
        std::wprintf(L"for comparison, per extension: reader without resolve cache %.3f ms; "
                     L"ignore and category queries %.3f ms\n",
                     readerSeconds * 1000 / scanned, Seconds(start) * 1000 / scanned);
    }
    std::wprintf(L"peak working set: %.1f MB after the first scan, %.1f MB at the end\n", peakAfterScan,
                 PeakWorkingSetMb());
    return 0;
}
