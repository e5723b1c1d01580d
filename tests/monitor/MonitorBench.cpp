// Cost of one monitor comparison on a generated registry: the snapshot, a comparison that finds
// nothing, and one that finds a change, against the bare registry reads of the same keys (the
// baseline), on an older system and on one that protects the per-user choice. Prints figures;
// asserts nothing. Usage: monitor_bench [extensions]
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "assoc/FileExtRegUtil.h"
#include "monitor/ExtensionMonitor.h"
#include "win/RegKey.h"
#include "win/Strings.h"

namespace {

const std::wstring kFileExts = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename F>
double Best(int runs, F work) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        LARGE_INTEGER start, end;
        ::QueryPerformanceCounter(&start);
        work();
        ::QueryPerformanceCounter(&end);
        best = std::min(best, Seconds(start, end));
    }
    return best;
}

// What any watcher of these keys must read: every extension's default and user choice.
size_t BareReads(const win::RegistryRoots& roots) {
    size_t values = 0;
    win::RegKey classes;
    if (classes.Open(roots.classesRoot, L"", KEY_READ) == ERROR_SUCCESS)
        for (const std::wstring& name : classes.SubKeyNames()) {
            if (name.empty() || name[0] != L'.') continue;
            win::RegKey key;
            if (key.Open(classes.get(), name, KEY_READ) == ERROR_SUCCESS && key.ReadString(nullptr)) ++values;
        }
    win::RegKey user;
    if (user.Open(roots.currentUser, kFileExts, KEY_READ) == ERROR_SUCCESS)
        for (const std::wstring& name : user.SubKeyNames()) {
            win::RegKey key;
            if (key.Open(user.get(), name + L"\\UserChoice", KEY_READ) == ERROR_SUCCESS && key.ReadString(L"ProgId"))
                ++values;
        }
    return values;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int count = argc > 1 ? std::max(1, _wtoi(argv[1])) : 5000;
    const std::wstring path = win::Format(L"Software\\KavendorTests\\bench-%lu", ::GetCurrentProcessId());
    win::RegKey classes, user;
    if (classes.Create(HKEY_CURRENT_USER, path + L"\\Classes", KEY_ALL_ACCESS) != ERROR_SUCCESS ||
        user.Create(HKEY_CURRENT_USER, path + L"\\User", KEY_ALL_ACCESS) != ERROR_SUCCESS) {
        std::fprintf(stderr, "no scratch key\n");
        return 1;
    }
    for (int i = 0; i < count; ++i) {
        const std::wstring ext = win::Format(L".e%05d", i);
        win::RegKey key;
        if (key.Create(classes.get(), ext, KEY_SET_VALUE) == ERROR_SUCCESS)
            key.WriteString(nullptr, win::Format(L"type%05d", i));
        // One extension in four has a user choice, as on a used desktop.
        if (i % 4 == 0 && key.Create(user.get(), kFileExts + L"\\" + ext + L"\\UserChoice", KEY_SET_VALUE) ==
                              ERROR_SUCCESS)
            key.WriteString(L"ProgId", win::Format(L"choice%05d", i));
    }
    win::RegistryRoots roots{classes.get(), user.get(), classes.get()};

    CExtensionMonitor monitor(roots, AssocPlatform{});
    monitor.SetEnabled(1);
    const int runs = 5;
    size_t values = 0;
    const double bare = Best(runs, [&] { values = BareReads(roots); });
    const double snapshot = Best(1, [&] { monitor.ScanAssociations(0); });
    const double quiet = Best(runs, [&] { monitor.ScanAssociations(1); });
    // A changed default: the comparison also reads both file types for the change list.
    int flip = 0;
    const double changed = Best(runs, [&] {
        win::RegKey key;
        if (key.Open(classes.get(), L".e00001", KEY_SET_VALUE) == ERROR_SUCCESS)
            key.WriteString(nullptr, (flip++ % 2) ? L"type00001" : L"other00001");
        monitor.ScanAssociations(1);
    });

    std::printf("extensions %d, values read %zu, best of %d runs\n", count, values, runs);
    std::printf("baseline, bare registry reads:      %8.2f ms  (%6.2f us per extension)\n", bare * 1e3,
                bare * 1e6 / count);
    std::printf("monitor, first snapshot:            %8.2f ms\n", snapshot * 1e3);
    std::printf("monitor, comparison finding nothing: %7.2f ms  (%6.2f us per extension)\n", quiet * 1e3,
                quiet * 1e6 / count);
    std::printf("monitor, comparison with one change: %7.2f ms\n", changed * 1e3);

    // A system that protects the per-user choice also reads the per-user classes default of every
    // extension (none here, as on most desktops) and looks for the newest choice key.
    AssocPlatform protectedPlatform;
    protectedPlatform.bProtectedUserChoice = 1;
    CExtensionMonitor protectedMonitor(roots, protectedPlatform);
    protectedMonitor.SetEnabled(1);
    protectedMonitor.ScanAssociations(0);
    const double protectedQuiet = Best(runs, [&] { protectedMonitor.ScanAssociations(1); });
    std::printf("protected choice, finding nothing:   %7.2f ms  (%6.2f us per extension)\n", protectedQuiet * 1e3,
                protectedQuiet * 1e6 / count);

    classes.Close();
    user.Close();
    win::DeleteKeyRecursive(HKEY_CURRENT_USER, path);
    return 0;
}
