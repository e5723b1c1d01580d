#pragma once
// The one-shot modes the installer and the uninstaller start: "-install" applies the installer's
// choices and sets up the shell hooks; "-uninstall" removes every scheduled job and hook.
#include <windows.h>

#include <string>

#include "framework/Profile.h"
#include "win/RegistryRoots.h"

struct InstallerChoices;

// The scheduled-job steps of the modes and the options; production uses the system's task
// scheduler (CSchedulerAppTasks), tests may record the calls instead.
class IAppTasks {
public:
    virtual ~IAppTasks() = default;
    // Install mode: the default scan job and the start-up job as the installer chose.
    virtual void ApplyInstallerChoices(const InstallerChoices& choices) = 0;
    virtual void CreateStartupTask() = 0;
    virtual void DeleteStartupTask() = 0;
    // Uninstall mode: every schedule of the product and both fixed jobs.
    virtual void RemoveAllTasks() = 0;
};

// What the modes work on: the registry roots, the per-user profile and the program's location.
struct AppEnvironment {
    win::RegistryRoots roots;
    const fw::CProfile* profile = nullptr;
    std::wstring programFolder;  // without the trailing backslash
    std::wstring programPath;    // the running program file
    std::wstring rightClickVerb;  // the menu text of the right-click scan entry
    bool wow64 = false;
    IAppTasks* tasks = nullptr;  // borrowed; no job is touched when null
};

// Key of the installer's hand-over values below the local-machine root.
extern const wchar_t kInstallerKey[];

// The installer's choices for the scheduled jobs.
struct InstallerChoices {
    std::wstring scheduledScan;  // "SCHEDULED_SCAN"
    std::wstring startupLogin;   // "STARTUP_LOGIN"
    DWORD silent = 0;            // "Silent"
};
InstallerChoices ReadInstallerChoices(HKEY localMachineRoot);

// "SearchedExtension" as the installer left it (a file name or path) → ".ext", or empty.
// "…\KavendorSetup_pdf_2.exe" gives ".pdf"; fewer than two underscores, or nothing between them, give "".
std::wstring DeriveSearchedExtension(const std::wstring& installerValue);

void RunInstallMode(const AppEnvironment& env);
void RunUninstallMode(const AppEnvironment& env);
