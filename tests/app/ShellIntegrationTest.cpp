#include <gtest/gtest.h>

#include "app/InstallMode.h"
#include "app/OptionsSettings.h"
#include "app/ShellIntegration.h"
#include "framework/Profile.h"
#include "tests/support/RegistrySandbox.h"
#include "win/RegKey.h"

using kvtest::RegistrySandbox;

namespace {

const wchar_t kOpenAs[] = L"Unknown\\shell\\openas\\command";
const wchar_t kOpenDlg[] = L"Unknown\\shell\\opendlg\\command";
const wchar_t kVerbCommand[] = L"*\\shell\\Scan with Kavendor...\\command";

class ShellIntegrationTest : public testing::Test {
protected:
    RegistrySandbox sandbox;
    fw::CProfile profile{sandbox.User(), L"Software\\Velmora\\Kavendor"};
    CShellIntegration hooks{sandbox.Roots(), profile, L"C:\\Program Files\\Kavendor",
                            L"C:\\Program Files\\Kavendor\\Kavendor.exe", L"Scan with Kavendor...", false};
    const std::wstring handlerCommand = L"C:\\Program Files\\Kavendor\\Kavendor_noapp.exe %1";
};

TEST_F(ShellIntegrationTest, InstallTwiceThenRemoveRestoresTheFirstCommands) {
    RegistrySandbox::SetString(sandbox.Classes(), kOpenAs, L"", L"%SystemRoot%\\system32\\rundll32.exe shell32.dll,OpenAs %1",
                               REG_EXPAND_SZ);
    RegistrySandbox::SetString(sandbox.Classes(), kOpenDlg, L"", L"dlg %1");
    hooks.InstallUnknownFileHook();
    EXPECT_EQ(RegistrySandbox::GetString(sandbox.Classes(), kOpenAs, L""), handlerCommand);
    EXPECT_EQ(RegistrySandbox::GetString(sandbox.Classes(), kOpenDlg, L""), handlerCommand);
    hooks.InstallUnknownFileHook();  // must keep the first backup, not save the hook itself
    EXPECT_EQ(profile.GetString(L"InstallPath"), L"C:\\Program Files\\Kavendor\\Kavendor.exe");
    EXPECT_EQ(profile.GetInt(L"UseUnknownHook", 7), 1u);

    hooks.RemoveUnknownFileHook();
    win::RegKey key;
    ASSERT_EQ(key.Open(sandbox.Classes(), kOpenAs, KEY_READ), ERROR_SUCCESS);
    DWORD type = 0;
    EXPECT_EQ(key.ReadString(nullptr, &type).value_or(L""), L"%SystemRoot%\\system32\\rundll32.exe shell32.dll,OpenAs %1");
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));  // the type is restored too
    EXPECT_TRUE(key.ValueExists(L"Kavendor.old"));         // the backup stays
    EXPECT_EQ(RegistrySandbox::GetString(sandbox.Classes(), kOpenDlg, L""), L"dlg %1");
    EXPECT_EQ(profile.GetInt(L"UseUnknownHook", 7), 0u);
}

TEST_F(ShellIntegrationTest, MissingCommandsAreNeverCreated) {
    RegistrySandbox::SetString(sandbox.Classes(), kOpenAs, L"", L"openas %1");
    hooks.InstallUnknownFileHook();
    EXPECT_FALSE(RegistrySandbox::KeyExists(sandbox.Classes(), kOpenDlg));
    hooks.RemoveUnknownFileHook();
    EXPECT_EQ(RegistrySandbox::GetString(sandbox.Classes(), kOpenAs, L""), L"openas %1");

    // Never installed: removal changes nothing but the setting.
    RegistrySandbox other;
    fw::CProfile otherProfile{other.User(), L"Software\\Velmora\\Kavendor"};
    CShellIntegration fresh{other.Roots(), otherProfile, L"C:\\K", L"C:\\K\\Kavendor.exe", L"Scan with Kavendor...",
                            false};
    RegistrySandbox::SetString(other.Classes(), kOpenAs, L"", L"original");
    fresh.RemoveUnknownFileHook();
    EXPECT_EQ(RegistrySandbox::GetString(other.Classes(), kOpenAs, L""), L"original");
    EXPECT_EQ(otherProfile.GetInt(L"UseUnknownHook", 7), 0u);
}

TEST_F(ShellIntegrationTest, LongAndOddDefaultValuesAreBackedUpWhole) {
    const std::wstring longCommand = L"C:\\" + std::wstring(600, L'p') + L"\\open.exe %1";
    RegistrySandbox::SetString(sandbox.Classes(), kOpenAs, L"", longCommand);
    const BYTE odd[5] = {'a', 0, 'b', 0, 'c'};  // no terminator, odd length
    RegistrySandbox::SetRaw(sandbox.Classes(), kOpenDlg, L"", REG_BINARY, odd, sizeof odd);
    hooks.InstallUnknownFileHook();
    hooks.RemoveUnknownFileHook();
    EXPECT_EQ(RegistrySandbox::GetString(sandbox.Classes(), kOpenAs, L""), longCommand);
    win::RegKey key;
    ASSERT_EQ(key.Open(sandbox.Classes(), kOpenDlg, KEY_READ), ERROR_SUCCESS);
    auto restored = key.ReadRaw(nullptr);
    ASSERT_TRUE(restored.has_value());
    EXPECT_EQ(restored->type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(restored->data, std::vector<BYTE>(odd, odd + sizeof odd));
}

TEST_F(ShellIntegrationTest, UserDeletedBackupLeavesTheHandlerInPlace) {
    RegistrySandbox::SetString(sandbox.Classes(), kOpenAs, L"", L"original");
    hooks.InstallUnknownFileHook();
    win::RegKey key;
    ASSERT_EQ(key.Open(sandbox.Classes(), kOpenAs, KEY_READ | KEY_WRITE), ERROR_SUCCESS);
    key.DeleteValue(L"Kavendor.old");
    hooks.RemoveUnknownFileHook();
    EXPECT_EQ(RegistrySandbox::GetString(sandbox.Classes(), kOpenAs, L""), handlerCommand);
}

TEST_F(ShellIntegrationTest, RightClickEntryInstallsAndRemovesTwice) {
    hooks.InstallRightClickScan();
    EXPECT_EQ(RegistrySandbox::GetString(sandbox.Classes(), kVerbCommand, L""),
              L"C:\\Program Files\\Kavendor\\Kavendor.exe %1");
    EXPECT_EQ(profile.GetInt(L"RightClickScan", 7), 1u);
    RegistrySandbox::SetString(sandbox.Classes(), L"*\\shell\\other\\command", L"", L"keep %1");
    for (int i = 0; i < 2; ++i) {
        hooks.RemoveRightClickScan();
        EXPECT_FALSE(RegistrySandbox::KeyExists(sandbox.Classes(), L"*\\shell\\Scan with Kavendor..."));
        EXPECT_EQ(RegistrySandbox::GetString(sandbox.Classes(), L"*\\shell\\other\\command", L""), L"keep %1");
        EXPECT_EQ(profile.GetInt(L"RightClickScan", 7), 0u);
    }
}

// Records the job steps the modes ask for.
class RecordingTasks : public IAppTasks {
public:
    std::vector<std::wstring> calls;
    void ApplyInstallerChoices(const InstallerChoices& c) override {
        calls.push_back(L"install:" + c.scheduledScan + L"," + c.startupLogin + L"," + std::to_wstring(c.silent));
    }
    void CreateStartupTask() override { calls.push_back(L"create-startup"); }
    void DeleteStartupTask() override { calls.push_back(L"delete-startup"); }
    void RemoveAllTasks() override { calls.push_back(L"remove-all"); }
};

// The modes' environment on a sandbox, with the program in C:\K.
AppEnvironment SandboxEnvironment(const RegistrySandbox& sandbox, const fw::CProfile& profile, IAppTasks* tasks) {
    AppEnvironment env;
    env.roots = sandbox.Roots();
    env.profile = &profile;
    env.programFolder = L"C:\\K";
    env.programPath = L"C:\\K\\Kavendor.exe";
    env.rightClickVerb = L"Scan with Kavendor...";
    env.tasks = tasks;
    return env;
}

TEST(InstallMode, PassesTheInstallerChoicesToTheJobSteps) {
    RegistrySandbox sandbox;
    fw::CProfile profile{sandbox.User(), L"Software\\Velmora\\Kavendor"};
    RegistrySandbox::SetString(sandbox.Machine(), kInstallerKey, L"SCHEDULED_SCAN", L"2");
    RegistrySandbox::SetString(sandbox.Machine(), kInstallerKey, L"STARTUP_LOGIN", L"1");
    RegistrySandbox::SetDword(sandbox.Machine(), kInstallerKey, L"Silent", 1);
    RecordingTasks tasks;
    AppEnvironment env = SandboxEnvironment(sandbox, profile, &tasks);
    RunInstallMode(env);
    RunUninstallMode(env);
    EXPECT_EQ(tasks.calls, (std::vector<std::wstring>{L"install:2,1,1", L"remove-all"}));
}

TEST(Options, DefaultsAndApplyRedoEveryStep) {
    RegistrySandbox sandbox;
    fw::CProfile profile{sandbox.User(), L"Software\\Velmora\\Kavendor"};
    OptionsSettings shown = ReadOptionsSettings(profile);
    EXPECT_TRUE(shown.rightClickScan);
    EXPECT_TRUE(shown.useUnknownHook);
    EXPECT_FALSE(shown.runAtSystemStart);
    EXPECT_TRUE(shown.confirmExit);
    EXPECT_FALSE(shown.minimizeOnExit);

    RegistrySandbox::SetString(sandbox.Classes(), kOpenAs, L"", L"original");
    RecordingTasks tasks;
    AppEnvironment env = SandboxEnvironment(sandbox, profile, &tasks);
    ApplyOptionsSettings(shown, env);  // unchanged options still install everything once more
    EXPECT_EQ(RegistrySandbox::GetString(sandbox.Classes(), kVerbCommand, L""), L"C:\\K\\Kavendor.exe %1");
    EXPECT_EQ(RegistrySandbox::GetString(sandbox.Classes(), kOpenAs, L""), L"C:\\K\\Kavendor_noapp.exe %1");
    EXPECT_EQ(profile.GetInt(L"ConfirmExit", 7), 1u);
    EXPECT_EQ(profile.GetInt(L"MinimizeOnExit", 7), 0u);

    OptionsSettings off{false, false, true, false, true};
    ApplyOptionsSettings(off, env);
    EXPECT_FALSE(RegistrySandbox::KeyExists(sandbox.Classes(), L"*\\shell\\Scan with Kavendor..."));
    EXPECT_EQ(RegistrySandbox::GetString(sandbox.Classes(), kOpenAs, L""), L"original");
    EXPECT_EQ(tasks.calls, (std::vector<std::wstring>{L"delete-startup", L"create-startup"}));
    OptionsSettings reread = ReadOptionsSettings(profile);
    EXPECT_FALSE(reread.rightClickScan);
    EXPECT_FALSE(reread.useUnknownHook);
    EXPECT_FALSE(reread.confirmExit);
    EXPECT_TRUE(reread.minimizeOnExit);
}

TEST(InstallMode, InstallsHooksRecordsTimeAndDerivesTheSearchedExtension) {
    RegistrySandbox sandbox;
    fw::CProfile profile{sandbox.User(), L"Software\\Velmora\\Kavendor"};
    RegistrySandbox::SetString(sandbox.Classes(), kOpenAs, L"", L"original");
    profile.WriteString(L"SearchedExtension", L"C:\\Downloads\\KavendorSetup_pdf_2.exe");
    AppEnvironment env = SandboxEnvironment(sandbox, profile, nullptr);

    FILETIME before{};
    ::GetSystemTimeAsFileTime(&before);
    RunInstallMode(env);

    EXPECT_EQ(RegistrySandbox::GetString(sandbox.Classes(), kOpenAs, L""), L"C:\\K\\Kavendor_noapp.exe %1");
    EXPECT_EQ(RegistrySandbox::GetString(sandbox.Classes(), kVerbCommand, L""), L"C:\\K\\Kavendor.exe %1");
    EXPECT_EQ(profile.GetString(L"SearchedExtension"), L".pdf");
    win::RegKey machine;
    ASSERT_EQ(machine.Open(sandbox.Machine(), kInstallerKey, KEY_READ), ERROR_SUCCESS);
    auto stamp = machine.ReadQword(L"InstallTime");
    ASSERT_TRUE(stamp.has_value());
    const uint64_t beforeStamp = (static_cast<uint64_t>(before.dwHighDateTime) << 32) | before.dwLowDateTime;
    EXPECT_GE(*stamp, beforeStamp);
    EXPECT_LT(*stamp - beforeStamp, 600ull * 10000000ull);

    // A value without two underscores leaves the setting empty.
    profile.WriteString(L"SearchedExtension", L"C:\\dl\\Setup__x.exe");
    RunInstallMode(env);
    EXPECT_EQ(profile.GetString(L"SearchedExtension", L"<absent>"), L"");

    RunUninstallMode(env);
    EXPECT_EQ(RegistrySandbox::GetString(sandbox.Classes(), kOpenAs, L""), L"original");
    EXPECT_FALSE(RegistrySandbox::KeyExists(sandbox.Classes(), L"*\\shell\\Scan with Kavendor..."));
}

TEST(InstallMode, InstallerChoicesReadAsTextWhateverTheirType) {
    RegistrySandbox sandbox;
    RegistrySandbox::SetString(sandbox.Machine(), kInstallerKey, L"SCHEDULED_SCAN", L"1");
    RegistrySandbox::SetDword(sandbox.Machine(), kInstallerKey, L"STARTUP_LOGIN", 0);
    RegistrySandbox::SetString(sandbox.Machine(), kInstallerKey, L"Silent", L"1");  // not a number: counts as 0
    InstallerChoices choices = ReadInstallerChoices(sandbox.Machine());
    EXPECT_EQ(choices.scheduledScan, L"1");
    EXPECT_EQ(choices.startupLogin, L"0");
    EXPECT_EQ(choices.silent, 0u);
    RegistrySandbox::SetDword(sandbox.Machine(), kInstallerKey, L"Silent", 1);
    EXPECT_EQ(ReadInstallerChoices(sandbox.Machine()).silent, 1u);
    RegistrySandbox empty;
    EXPECT_EQ(ReadInstallerChoices(empty.Machine()).scheduledScan, L"");
}

}  // namespace
