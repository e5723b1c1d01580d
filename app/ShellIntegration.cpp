#include "app/ShellIntegration.h"

#include "win/Paths.h"
#include "win/Platform.h"
#include "win/RegKey.h"
#include "win/Strings.h"

CShellIntegration::CShellIntegration(const win::RegistryRoots& roots, const fw::CProfile& profile,
                                     std::wstring programFolder, std::wstring programPath, std::wstring verbText,
                                     bool wow64)
    : m_roots(roots),
      m_profile(profile),
      m_strProgramFolder(std::move(programFolder)),
      m_strProgramPath(std::move(programPath)),
      m_strVerbText(std::move(verbText)),
      m_viewFlag(win::Wow64ViewFlag(wow64)) {}

void CShellIntegration::InstallRightClickScan() const {
    const std::wstring keyPath = win::Format(L"*\\shell\\%ls\\command", m_strVerbText.c_str());
    const std::wstring command = win::Format(L"%ls %%1", win::JoinPath(m_strProgramFolder, L"Kavendor.exe").c_str());
    win::RegKey key;
    if (key.Create(m_roots.classesRoot, keyPath, KEY_SET_VALUE | KEY_CREATE_SUB_KEY | m_viewFlag) == ERROR_SUCCESS)
        key.WriteString(nullptr, command);
    m_profile.WriteInt(L"RightClickScan", 1);
}

void CShellIntegration::RemoveRightClickScan() const {
    win::RegKey verb;
    if (verb.Open(m_roots.classesRoot, L"*\\shell\\" + m_strVerbText, KEY_READ | KEY_WRITE | m_viewFlag) ==
        ERROR_SUCCESS)
        verb.DeleteSubKey(L"command", m_viewFlag);
    verb.Close();
    win::RegKey shell;
    if (shell.Open(m_roots.classesRoot, L"*\\shell", KEY_READ | KEY_WRITE | m_viewFlag) == ERROR_SUCCESS)
        shell.DeleteSubKey(m_strVerbText, m_viewFlag);
    m_profile.WriteInt(L"RightClickScan", 0);
}

void CShellIntegration::InstallUnknownFileHook() const {
    m_profile.WriteString(L"InstallPath", m_strProgramPath);
    const std::wstring command =
        win::Format(L"%ls %%1", win::JoinPath(m_strProgramFolder, L"Kavendor_noapp.exe").c_str());
    for (const wchar_t* keyPath : kUnknownCommandKeys) {
        win::RegKey key;
        // The hook is never created where the shell has no such command.
        if (key.Open(m_roots.classesRoot, keyPath, KEY_READ | KEY_WRITE | m_viewFlag) != ERROR_SUCCESS) continue;
        if (!key.ValueExists(kBackupValue)) {
            // The previous command is saved whatever its length and type, so removal can put it back.
            if (auto previous = key.ReadRaw(nullptr))
                key.WriteRaw(kBackupValue, previous->type, previous->data.data(),
                             static_cast<DWORD>(previous->data.size()));
        }
        key.WriteString(nullptr, command);
    }
    m_profile.WriteInt(L"UseUnknownHook", 1);
}

void CShellIntegration::RestoreUnknownCommand(const wchar_t* keyPath) const {
    win::RegKey key;
    if (key.Open(m_roots.classesRoot, keyPath, KEY_READ | KEY_WRITE | m_viewFlag) != ERROR_SUCCESS) return;
    if (auto saved = key.ReadRaw(kBackupValue))
        key.WriteRaw(nullptr, saved->type, saved->data.data(), static_cast<DWORD>(saved->data.size()));
}

void CShellIntegration::RemoveUnknownFileHook() const {
    RestoreUnknownCommand(kUnknownCommandKeys[0]);
    m_profile.WriteInt(L"UseUnknownHook", 0);
    RestoreUnknownCommand(kUnknownCommandKeys[1]);
}
