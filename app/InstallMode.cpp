#include "app/InstallMode.h"

#include "app/ShellIntegration.h"
#include "win/Paths.h"
#include "win/RegKey.h"

const wchar_t kInstallerKey[] = L"Software\\Velmora\\Kavendor\\";

namespace {

// The installer's strings count as text whatever their registry type: numbers as their digits.
std::wstring ReadAsText(const win::RegKey& key, const wchar_t* name) {
    auto raw = key.ReadRaw(name);
    if (!raw) return {};
    if (raw->type == REG_DWORD && raw->data.size() == sizeof(DWORD)) {
        DWORD value = 0;
        memcpy(&value, raw->data.data(), sizeof value);
        return std::to_wstring(value);
    }
    return win::RegDataToString(raw->data.data(), raw->data.size());
}

CShellIntegration ShellHooks(const AppEnvironment& env) {
    return CShellIntegration(env.roots, *env.profile, env.programFolder, env.programPath, env.rightClickVerb,
                             env.wow64);
}

}  // namespace

InstallerChoices ReadInstallerChoices(HKEY localMachineRoot) {
    InstallerChoices choices;
    win::RegKey key;
    if (key.Open(localMachineRoot, kInstallerKey, KEY_READ) != ERROR_SUCCESS) return choices;
    choices.scheduledScan = ReadAsText(key, L"SCHEDULED_SCAN");
    choices.startupLogin = ReadAsText(key, L"STARTUP_LOGIN");
    choices.silent = key.ReadDword(L"Silent").value_or(0);
    return choices;
}

std::wstring DeriveSearchedExtension(const std::wstring& installerValue) {
    const std::wstring name = win::FileNameOf(installerValue);
    size_t first = name.find(L'_');
    if (first == std::wstring::npos) return {};
    size_t second = name.find(L'_', first + 1);
    if (second == std::wstring::npos || second == first + 1) return {};
    return L"." + name.substr(first + 1, second - first - 1);
}

void RunInstallMode(const AppEnvironment& env) {
    const InstallerChoices choices = ReadInstallerChoices(env.roots.localMachine);
    if (env.tasks) env.tasks->ApplyInstallerChoices(choices);

    CShellIntegration hooks = ShellHooks(env);
    hooks.InstallUnknownFileHook();
    hooks.InstallRightClickScan();

    win::RegKey installKey;
    if (installKey.Create(env.roots.localMachine, kInstallerKey, KEY_READ | KEY_WRITE) == ERROR_SUCCESS) {
        FILETIME now{};
        ::GetSystemTimeAsFileTime(&now);
        const uint64_t stamp = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
        installKey.WriteQword(L"InstallTime", stamp);
    }

    const std::wstring searched = env.profile->GetString(L"SearchedExtension", L"");
    env.profile->WriteString(L"SearchedExtension", L"");
    if (!searched.empty()) {
        const std::wstring extension = DeriveSearchedExtension(searched);
        if (!extension.empty()) env.profile->WriteString(L"SearchedExtension", extension);
    }
}

void RunUninstallMode(const AppEnvironment& env) {
    if (env.tasks) env.tasks->RemoveAllTasks();
    CShellIntegration hooks = ShellHooks(env);
    hooks.RemoveUnknownFileHook();
    hooks.RemoveRightClickScan();
}
