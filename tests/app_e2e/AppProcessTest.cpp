#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/support/TempFolder.h"
#include "win/RegKey.h"
#include "win/Strings.h"
#include "win/UniqueHandle.h"

namespace {

const wchar_t kMainClass[] = L"Kavendor_F4874675-710C-4FD5-A6EE-D27C59E24ABC";
const wchar_t kProfileKey[] = L"Software\\Velmora\\Kavendor";

// An installed copy of the program in a folder of its own.
class Installation {
public:
    Installation() {
        std::wstring source = win::Utf8ToWide(KV_KAVENDOR_EXE);
        for (auto& c : source)
            if (c == L'/') c = L'\\';
        m_exe = m_folder.File(L"Kavendor.exe");
        if (!::CopyFileW(source.c_str(), m_exe.c_str(), FALSE)) throw std::runtime_error("copy failed");
    }
    const std::wstring& Exe() const { return m_exe; }
    const kvtest::TempFolder& Folder() const { return m_folder; }

    win::UniqueKernelHandle Start(const std::wstring& arguments, const std::wstring& currentFolder = {}) const {
        std::wstring commandLine = L"\"" + m_exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        const std::wstring& folder = currentFolder.empty() ? m_folder.Path() : currentFolder;
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                              &pi))
            return {};
        ::CloseHandle(pi.hThread);
        return win::UniqueKernelHandle(pi.hProcess);
    }
    // Runs to the end; returns the exit code, or -1 when it did not end in time.
    long Run(const std::wstring& arguments, const std::wstring& currentFolder = {}) const {
        auto process = Start(arguments, currentFolder);
        if (!process || ::WaitForSingleObject(process.get(), 30000) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        ::GetExitCodeProcess(process.get(), &code);
        return static_cast<long>(code);
    }

private:
    kvtest::TempFolder m_folder;
    std::wstring m_exe;
};

HWND WaitForMainWindow(DWORD timeoutMs = 30000) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        if (HWND hwnd = ::FindWindowW(kMainClass, nullptr)) return hwnd;
        ::Sleep(50);
    }
    return nullptr;
}

std::wstring WindowText(HWND hwnd) {
    wchar_t text[512] = {};
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
    return text;
}

// Polls until the window's text contains `expected` (the program answers asynchronously).
std::wstring WaitForText(HWND hwnd, const std::wstring& expected) {
    std::wstring text;
    for (int i = 0; i < 600; ++i) {
        text = WindowText(hwnd);
        if (text.find(expected) != std::wstring::npos) return expected;
        ::Sleep(50);
    }
    return text;
}

DWORD ProfileInt(const wchar_t* name, DWORD fallback) {
    win::RegKey key;
    if (key.Open(HKEY_CURRENT_USER, kProfileKey, KEY_READ) != ERROR_SUCCESS) return fallback;
    return key.ReadDword(name).value_or(fallback);
}

bool ProcessEnds(const win::UniqueKernelHandle& process, DWORD timeoutMs = 30000) {
    return ::WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0;
}

TEST(AppProcess, SecondStartForwardsItsRequestToTheFirst) {
    Installation app;
    auto first = app.Start(L"");
    ASSERT_TRUE(first);
    HWND window = WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(::IsWindowVisible(window));

    EXPECT_EQ(app.Run(L"-SCAN"), 0);
    EXPECT_EQ(WaitForText(window, L"Scan of all extensions complete"), L"Scan of all extensions complete");

    // The shell passes the path unquoted; its extension keeps its case.
    std::wstring file = app.Folder().WriteFile(L"a b\\x.TXT", "data");
    EXPECT_EQ(app.Run(file), 0);
    EXPECT_EQ(WaitForText(window, L"Scan of .TXT complete"), L"Scan of .TXT complete");

    std::wstring readme = app.Folder().WriteFile(L"data\\README", "text");
    EXPECT_EQ(app.Run(L"\"" + readme + L"\""), 0);
    EXPECT_EQ(WaitForText(window, L"Scan of all extensions complete"), L"Scan of all extensions complete");

    // Without arguments the running instance only comes to the front.
    ::ShowWindow(window, SW_HIDE);
    EXPECT_EQ(app.Run(L""), 0);
    for (int i = 0; i < 100 && !::IsWindowVisible(window); ++i) ::Sleep(50);
    EXPECT_TRUE(::IsWindowVisible(window));

    EXPECT_EQ(app.Run(L"-shutdown"), 0);
    EXPECT_TRUE(ProcessEnds(first));
    EXPECT_EQ(::FindWindowW(kMainClass, nullptr), nullptr);
}

TEST(AppProcess, ReportScansWithoutAWindowAndAnswersWithItsExitCode) {
    Installation app;
    // A broken association the report must find.
    {
        win::RegKey ext, command;
        ASSERT_EQ(ext.Create(HKEY_CLASSES_ROOT, L".kvbroken", KEY_ALL_ACCESS), ERROR_SUCCESS);
        ext.WriteString(nullptr, L"kvbroken_file");
        ASSERT_EQ(command.Create(HKEY_CLASSES_ROOT, L"kvbroken_file\\shell\\open\\command", KEY_ALL_ACCESS),
                  ERROR_SUCCESS);
        command.WriteString(nullptr, L"\"C:\\Program Files\\Gone\\gone.exe\" \"%1\"");
    }
    // Relative paths mean the folder the program was started in, and a running instance is no obstacle.
    auto first = app.Start(L"-tray");
    ASSERT_TRUE(first);
    ASSERT_NE(WaitForMainWindow(), nullptr);
    kvtest::TempFolder startFolder;
    EXPECT_EQ(app.Run(L"-report scan.json", startFolder.Path()), 1);
    const std::string json = kvtest::ReadFileBytes(startFolder.File(L"scan.json"));
    EXPECT_NE(json.find("\"extensions\""), std::string::npos);
    EXPECT_NE(json.find("\".kvbroken\""), std::string::npos);
    EXPECT_EQ(app.Run(L"-report \"" + startFolder.File(L"scan out.txt") + L"\""), 1);
    EXPECT_NE(kvtest::ReadFileBytes(startFolder.File(L"scan out.txt")).find(".kvbroken"), std::string::npos);
    // A report that cannot be written is exit code 2.
    EXPECT_EQ(app.Run(L"-report C:\\no\\such\\folder\\x.csv"), 2);
    EXPECT_EQ(app.Run(L"-shutdown"), 0);
    EXPECT_TRUE(ProcessEnds(first));
    win::DeleteKeyRecursive(HKEY_CLASSES_ROOT, L".kvbroken");
    win::DeleteKeyRecursive(HKEY_CLASSES_ROOT, L"kvbroken_file");
}

TEST(AppProcess, RunningProgramReportsAnotherProgramsAssociationChange) {
    Installation app;
    {
        win::RegKey ext;
        ASSERT_EQ(ext.Create(HKEY_CLASSES_ROOT, L".kvwatched", KEY_ALL_ACCESS), ERROR_SUCCESS);
        ext.WriteString(nullptr, L"txtfile");
    }
    auto first = app.Start(L"-tray");
    ASSERT_TRUE(first);
    HWND window = WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    ::Sleep(1000);  // the monitor takes its first snapshot after start-up
    {
        win::RegKey ext;
        ASSERT_EQ(ext.Open(HKEY_CLASSES_ROOT, L".kvwatched", KEY_ALL_ACCESS), ERROR_SUCCESS);
        ext.WriteString(nullptr, L"otherfile");
    }
    EXPECT_EQ(WaitForText(window, L"Association changes detected: .kvwatched"),
              L"Association changes detected: .kvwatched");
    EXPECT_EQ(app.Run(L"-shutdown"), 0);
    EXPECT_TRUE(ProcessEnds(first));
    win::DeleteKeyRecursive(HKEY_CLASSES_ROOT, L".kvwatched");
}

TEST(AppProcess, ShutdownWithoutInstanceWritesNothing) {
    Installation app;
    const DWORD runsBefore = ProfileInt(L"RunCount", 12345);
    EXPECT_EQ(app.Run(L"-shutdown"), 0);
    EXPECT_EQ(ProfileInt(L"RunCount", 12345), runsBefore);
    EXPECT_EQ(::FindWindowW(kMainClass, nullptr), nullptr);
}

TEST(AppProcess, TrayStartStaysHiddenAndCountsTheRun) {
    Installation app;
    const DWORD runsBefore = ProfileInt(L"RunCount", 0);
    auto first = app.Start(L"-tray");
    ASSERT_TRUE(first);
    HWND window = WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    ::Sleep(300);
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_EQ(ProfileInt(L"RunCount", 0), runsBefore + 1);
    EXPECT_EQ(app.Run(L"-shutdown"), 0);
    EXPECT_TRUE(ProcessEnds(first));
    // The monitoring switch is stored on exit.
    EXPECT_EQ(ProfileInt(L"MONITOR", 7), 1u);
}

TEST(AppProcess, PendingSearchedExtensionShowsTheWindowAndScansIt) {
    Installation app;
    win::RegKey profile;
    ASSERT_EQ(profile.Create(HKEY_CURRENT_USER, kProfileKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
    profile.WriteString(L"SearchedExtension", L".pdf");
    auto first = app.Start(L"-tray");
    ASSERT_TRUE(first);
    HWND window = WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WaitForText(window, L"Scan of .pdf complete"), L"Scan of .pdf complete");
    EXPECT_TRUE(::IsWindowVisible(window));
    EXPECT_EQ(profile.ReadString(L"SearchedExtension").value_or(L"<absent>"), L"");
    EXPECT_EQ(app.Run(L"-shutdown"), 0);
    EXPECT_TRUE(ProcessEnds(first));
}

TEST(AppProcess, InstallAndUninstallHookTheShell) {
    Installation app;
    const std::wstring openAs = L"Unknown\\shell\\openas\\command";
    {
        win::RegKey key;
        ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, openAs, KEY_ALL_ACCESS), ERROR_SUCCESS);
        key.WriteString(nullptr, L"rundll32.exe shell32.dll,OpenAs_RunDLL %1");
        key.DeleteValue(L"Kavendor.old");
    }
    win::RegKey profile;
    ASSERT_EQ(profile.Create(HKEY_CURRENT_USER, kProfileKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
    profile.WriteString(L"SearchedExtension", L"C:\\Downloads\\KavendorSetup_docx_1.exe");

    EXPECT_EQ(app.Run(L"-install"), 0);
    const std::wstring folder = app.Folder().Path();
    win::RegKey verb;
    ASSERT_EQ(verb.Open(HKEY_CLASSES_ROOT, L"*\\shell\\Scan with Kavendor...\\command", KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(verb.ReadString(nullptr).value_or(L""), folder + L"\\Kavendor.exe %1");
    win::RegKey hook;
    ASSERT_EQ(hook.Open(HKEY_CLASSES_ROOT, openAs, KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(hook.ReadString(nullptr).value_or(L""), folder + L"\\Kavendor_noapp.exe %1");
    EXPECT_EQ(profile.ReadString(L"InstallPath").value_or(L""), app.Exe());
    EXPECT_EQ(profile.ReadString(L"SearchedExtension").value_or(L""), L".docx");
    win::RegKey machine;
    ASSERT_EQ(machine.Open(HKEY_LOCAL_MACHINE, L"Software\\Velmora\\Kavendor", KEY_READ), ERROR_SUCCESS);
    EXPECT_TRUE(machine.ReadQword(L"InstallTime").has_value());
    EXPECT_EQ(::FindWindowW(kMainClass, nullptr), nullptr);

    EXPECT_EQ(app.Run(L"-uninstall"), 0);
    EXPECT_EQ(hook.ReadString(nullptr).value_or(L""), L"rundll32.exe shell32.dll,OpenAs_RunDLL %1");
    win::RegKey gone;
    EXPECT_NE(gone.Open(HKEY_CLASSES_ROOT, L"*\\shell\\Scan with Kavendor...", KEY_READ), ERROR_SUCCESS);
    profile.WriteString(L"SearchedExtension", L"");
}

}  // namespace

namespace {

bool JobExists(const wchar_t* name) {
    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    return ::GetFileAttributesW((std::wstring(windows) + L"\\Tasks\\" + name + L".job").c_str()) !=
           INVALID_FILE_ATTRIBUTES;
}

std::string JobBytes(const wchar_t* name) {
    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    return kvtest::ReadFileBytes(std::wstring(windows) + L"\\Tasks\\" + name + L".job");
}

void SetInstallerChoices(const wchar_t* scheduledScan, const wchar_t* startupLogin, DWORD silent) {
    win::RegKey key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, L"Software\\Velmora\\Kavendor\\", KEY_ALL_ACCESS), ERROR_SUCCESS);
    key.WriteString(L"SCHEDULED_SCAN", scheduledScan);
    key.WriteString(L"STARTUP_LOGIN", startupLogin);
    key.WriteDword(L"Silent", silent);
}

TEST(AppProcess, InstallModeFollowsTheInstallersJobChoices) {
    Installation app;  // no settings file beside it: the jobs take the built-in product name
    const wchar_t* kDefault = L"Kavendor Default";
    const wchar_t* kStartup = L"Kavendor Startup";
    struct Row {
        const wchar_t* scheduledScan;
        const wchar_t* startupLogin;
        DWORD silent;
        bool defaultAfter, startupAfter;
    } rows[] = {
        {L"1", L"1", 0, true, true},    {L"0", L"0", 0, false, false}, {L"", L"", 0, false, false},
        {L"2", L"2", 0, true, true},    {L"", L"", 1, true, true},     {L"0", L"1", 1, true, true},
        {L"1", L"0", 0, true, false},
    };
    for (const auto& row : rows) {
        // Both jobs exist before each row.
        SetInstallerChoices(L"1", L"1", 0);
        ASSERT_EQ(app.Run(L"-install"), 0);
        ASSERT_TRUE(JobExists(kDefault));
        ASSERT_TRUE(JobExists(kStartup));
        const std::string defaultBefore = JobBytes(kDefault);

        SetInstallerChoices(row.scheduledScan, row.startupLogin, row.silent);
        ASSERT_EQ(app.Run(L"-install"), 0);
        const std::wstring label = std::wstring(L"SCHEDULED_SCAN=") + row.scheduledScan + L" STARTUP_LOGIN=" +
                                   row.startupLogin + L" Silent=" + std::to_wstring(row.silent);
        EXPECT_EQ(JobExists(kDefault), row.defaultAfter) << win::WideToUtf8(label);
        EXPECT_EQ(JobExists(kStartup), row.startupAfter) << win::WideToUtf8(label);
        // An existing default job is never replaced, so its random time stays the user's.
        if (row.defaultAfter) {
            EXPECT_EQ(JobBytes(kDefault), defaultBefore) << win::WideToUtf8(label);
        }
    }
    // Uninstall removes both jobs and the hooks.
    SetInstallerChoices(L"1", L"1", 0);
    ASSERT_EQ(app.Run(L"-install"), 0);
    ASSERT_EQ(app.Run(L"-uninstall"), 0);
    EXPECT_FALSE(JobExists(kDefault));
    EXPECT_FALSE(JobExists(kStartup));
}

}  // namespace
