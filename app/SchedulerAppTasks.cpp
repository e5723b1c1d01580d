#include "app/SchedulerAppTasks.h"

#include <shellapi.h>
#include <shlobj.h>

#include "schedule/AccountInfo.h"
#include "schedule/FixedTasks.h"
#include "win/Paths.h"

CSchedulerAppTasks::CSchedulerAppTasks(std::wstring appName, std::wstring exeName, std::wstring programFolder,
                                       const fw::CProfile& profile)
    : m_strAppName(std::move(appName)),
      m_strExeName(std::move(exeName)),
      m_strProgramFolder(std::move(programFolder)),
      m_profile(profile) {}

namespace {
ScheduledTaskProduct Product(const std::wstring& appName, const std::wstring& exeName, const std::wstring& folder,
                             const fw::CProfile& profile) {
    ScheduledTaskProduct product;
    product.m_strAppName = appName;
    product.m_strExeName = exeName;
    product.m_strAppFolder = folder;
    product.m_pProfile = &profile;
    return product;
}
}  // namespace

std::wstring CSchedulerAppTasks::UpdateFrontEndPath() {
    return win::JoinPath(win::ShellFolder(CSIDL_PROGRAM_FILES_COMMON), L"Velmora\\Tork3\\Velmora_Update3.exe");
}

void CSchedulerAppTasks::ApplyInstallerChoices(const InstallerChoices& choices) {
    InstallerTaskResult result =
        ApplyInstallerTaskChoices(choices.scheduledScan, choices.startupLogin, choices.silent,
                                  Product(m_strAppName, m_strExeName, m_strProgramFolder, m_profile));
    if (result.m_bStartUpdateDeleteTask) {
        // Fire and forget: the front-end removes its own scheduled job.
        ::ShellExecuteW(nullptr, L"open", UpdateFrontEndPath().c_str(), L"-DeleteTask", nullptr, SW_SHOW);
    }
}

void CSchedulerAppTasks::CreateStartupTask() {
    ::CreateStartupTask(Product(m_strAppName, m_strExeName, m_strProgramFolder, m_profile));
}

void CSchedulerAppTasks::DeleteStartupTask() {
    ::DeleteStartupTask(Product(m_strAppName, m_strExeName, m_strProgramFolder, m_profile));
}

void CSchedulerAppTasks::RemoveAllTasks() {
    const UserAccount account = GetCurrentUserAccount();
    RemoveAllScheduledTasks(Product(m_strAppName, m_strExeName, m_strProgramFolder, m_profile),
                            account.m_strUserName, account.m_strDomainName);
}
