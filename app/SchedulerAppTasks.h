#pragma once
// The modes' scheduled-job steps on the system's task scheduler, for the product named by the
// settings file.
#include <string>

#include "app/InstallMode.h"

class CSchedulerAppTasks : public IAppTasks {
public:
    CSchedulerAppTasks(std::wstring appName, std::wstring exeName, std::wstring programFolder,
                       const fw::CProfile& profile);

    void ApplyInstallerChoices(const InstallerChoices& choices) override;
    void CreateStartupTask() override;
    void DeleteStartupTask() override;
    void RemoveAllTasks() override;

    // Path of the update front-end, which removes its own job when started with "-DeleteTask".
    static std::wstring UpdateFrontEndPath();

private:
    std::wstring m_strAppName;
    std::wstring m_strExeName;
    std::wstring m_strProgramFolder;
    const fw::CProfile& m_profile;
};
