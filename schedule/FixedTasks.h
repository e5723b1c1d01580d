#pragma once
// The two jobs of fixed name: the default weekly scan ("-scan") and the start-up job ("-tray"),
// and the task steps of the installer's and uninstaller's modes.
#include <windows.h>
#include <mstask.h>

#include <string>

namespace fw {
class CProfile;
}

// What the jobs need to know about the product, filled from its settings by the caller.
struct ScheduledTaskProduct {
    std::wstring m_strAppName;  // APPNAME; the fixed jobs fall back to "Kavendor" when empty
    std::wstring m_strExeName;  // EXENAME, the main program's file name
    std::wstring m_strAppFolder;  // the main program's folder, without a trailing backslash
    const fw::CProfile* m_pProfile = nullptr;  // per-user settings ("RunAtSystemStart"); borrowed
};

std::wstring DefaultScanTaskName(const std::wstring& appName);  // appName + " Default"
std::wstring StartupTaskName(const std::wstring& appName);  // appName + " Startup"

// The weekly trigger of the default scan from a seed: hour 0-4, minute 0-58, and Sunday with
// Wednesday, Monday with Friday or Tuesday with Saturday (Sunday alone when `sundayOnly`).
TASK_TRIGGER MakeDefaultScanTrigger(unsigned seed, bool sundayOnly, const SYSTEMTIME& today);
TASK_TRIGGER MakeStartupTrigger(const SYSTEMTIME& today);

// Creates the default scan job unless it exists (an existing job is left unchanged).
void CreateDefaultScanTask(const ScheduledTaskProduct& product, bool sundayOnly);
bool DeleteDefaultScanTask(const ScheduledTaskProduct& product);
// Creates the start-up job unless it exists; writes "RunAtSystemStart" = 1 in every case.
void CreateStartupTask(const ScheduledTaskProduct& product);
// Deletes the start-up job; writes "RunAtSystemStart" = 0.
bool DeleteStartupTask(const ScheduledTaskProduct& product);

struct InstallerTaskResult {
    // The caller starts the update front-end with "-DeleteTask" so it removes its own job.
    bool m_bStartUpdateDeleteTask = false;
};

// Install mode's task steps from the installer's "SCHEDULED_SCAN" and "STARTUP_LOGIN" texts and
// its "Silent" marker: "1" creates the job; empty or "0" deletes it unless silent; anything else
// leaves it alone.
InstallerTaskResult ApplyInstallerTaskChoices(const std::wstring& scheduledScan, const std::wstring& startupLogin,
                                              DWORD silent, const ScheduledTaskProduct& product);

// Uninstall mode's task steps: deletes every schedule of APPNAME (as stored, without the fixed
// jobs' fallback name) under the given account, then the default scan and start-up jobs. Returns
// the number of listed schedules that could not be deleted.
int RemoveAllScheduledTasks(const ScheduledTaskProduct& product, const std::wstring& userName,
                            const std::wstring& domainName);
