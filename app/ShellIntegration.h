#pragma once
// The program's two hooks in the shell: the "Scan with Kavendor..." verb for all files, and the
// commands for files of unknown type, pointed at the unknown-file handler with the previous
// commands saved beside them ("Kavendor.old") so they can be put back.
#include <windows.h>

#include <string>

#include "framework/Profile.h"
#include "win/RegistryRoots.h"

class CShellIntegration {
public:
    // `programFolder` holds Kavendor.exe and Kavendor_noapp.exe; `programPath` is the running
    // program's file; `wow64` selects the 64-bit registry view for a 32-bit process.
    CShellIntegration(const win::RegistryRoots& roots, const fw::CProfile& profile, std::wstring programFolder,
                      std::wstring programPath, std::wstring verbText, bool wow64);

    void InstallRightClickScan() const;
    void RemoveRightClickScan() const;
    void InstallUnknownFileHook() const;
    void RemoveUnknownFileHook() const;

    static constexpr const wchar_t* kBackupValue = L"Kavendor.old";
    static constexpr const wchar_t* kUnknownCommandKeys[2] = {L"Unknown\\shell\\openas\\command",
                                                              L"Unknown\\shell\\opendlg\\command"};

private:
    void RestoreUnknownCommand(const wchar_t* keyPath) const;

    win::RegistryRoots m_roots;
    const fw::CProfile& m_profile;
    std::wstring m_strProgramFolder;
    std::wstring m_strProgramPath;
    std::wstring m_strVerbText;
    REGSAM m_viewFlag;
};
