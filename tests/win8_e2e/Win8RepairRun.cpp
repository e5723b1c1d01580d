// Scans the running system's registry with the engine, repairs it and scans it again, then writes
// what it saw of one extension to "result.txt" in the given folder:
//   kv_win8_repair.exe <folder> <extension>
// The platform facts are the ones the engine detects in this process.
#include <windows.h>

#include <cstdio>
#include <string>

#include "engine/EngineEnvironment.h"
#include "engine/ExtScanner.h"
#include "win/Paths.h"
#include "win/Strings.h"
#include "win/UniqueHandle.h"

namespace {

// The scan's record of the extension: its problem flags, whether the repair fixed it, and the
// type it now uses.
struct Outcome {
    UINT problems = 0;
    int fixed = 0;
    std::wstring current;
    bool found = false;
};

Outcome ScanOnce(const CEngineEnvironment& env, const std::wstring& extension, bool repair) {
    Outcome outcome;
    CExtScanner scanner(env);
    // A full scan: a record of a single-extension scan is repaired but never marked fixed.
    if (!scanner.StartScanThread(L"", nullptr)) return outcome;
    scanner.WaitForScan();
    if (repair) {
        if (!scanner.StartRepairThread(nullptr)) return outcome;
        scanner.WaitForRepair();
    }
    if (!scanner.m_pResults) return outcome;
    auto it = scanner.m_pResults->find(extension);
    if (it == scanner.m_pResults->end() || !it->second) return outcome;
    outcome.found = true;
    outcome.problems = it->second->m_nProblems;
    outcome.fixed = it->second->m_bFixed;
    outcome.current = it->second->GetCurrentProgID();
    return outcome;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    const std::wstring folder = argv[1];
    const std::wstring extension = win::ToLower(argv[2]);

    CEngineEnvironment env = CEngineEnvironment::Production();
    env.m_strDatabaseFolder = win::JoinPath(folder, L"db");
    env.m_strDumpFolder = folder;
    env.m_bNotifyShell = false;

    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    ::GetVersionExW(&version);

    const Outcome before = ScanOnce(env, extension, true);
    const Outcome after = ScanOnce(env, extension, false);
    if (!before.found || !after.found) return 1;

    const std::wstring text = win::Format(
        L"version=%lu.%lu\r\nlegacy=%d\r\nprotected=%d\r\nbefore=%u\r\nfixed=%d\r\nafter=%u\r\ncurrent=%s\r\n",
        version.dwMajorVersion, version.dwMinorVersion, static_cast<int>(env.m_platform.bLegacyShell),
        static_cast<int>(env.m_platform.bProtectedUserChoice), before.problems, before.fixed, after.problems,
        after.current.c_str());
    const std::string bytes = win::WideToCodePage(text, CP_UTF8);
    win::UniqueFileHandle file(::CreateFileW(win::JoinPath(folder, L"result.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        return 1;
    return 0;
}
