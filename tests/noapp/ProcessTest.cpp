// The handler as a real process: started as the shell starts it, its dialog clicked, and what it
// started observed through stand-ins that record their command lines. Every process it starts runs
// in a job, so the test also knows when nothing was started.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <vector>

#include "framework/WinApp.h"
#include "noapp/res/resource.h"
#include "tests/noapp/DialogDriver.h"
#include "tests/support/TempFolder.h"
#include "win/Paths.h"
#include "win/RegKey.h"
#include "win/Strings.h"
#include "win/UniqueHandle.h"

using noapptest::DialogAction;

namespace {

const wchar_t kProfileKey[] = L"Software\\Velmora\\Kavendor";

std::wstring BuildOutput(const std::wstring& relative) {
    std::wstring joined = win::JoinPath(win::FolderOf(win::ModuleFilePath()), relative);
    wchar_t full[MAX_PATH * 2] = {};
    DWORD length = ::GetFullPathNameW(joined.c_str(), MAX_PATH * 2, full, nullptr);
    return length > 0 && length < MAX_PATH * 2 ? std::wstring(full, length) : joined;
}

struct LogLine {
    std::wstring program;
    std::wstring parameters;
};

struct ProcessRun {
    bool exited = false;
    DWORD exitCode = 0;
    bool dialogSeen = false;
    std::wstring shownName;
    DWORD processesStarted = 0;  // besides the handler
    std::vector<LogLine> log;
};

class NoAppProcess : public testing::Test {
protected:
    void SetUp() override {
        // Test programs run in parallel; the one value they share is taken in turn.
        m_hLock.reset(::CreateMutexW(nullptr, FALSE, L"KavendorTests.NoApp.InstallPath"));
        ASSERT_TRUE(m_hLock);
        DWORD wait = ::WaitForSingleObject(m_hLock.get(), INFINITE);
        ASSERT_TRUE(wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED);
        m_bLocked = true;

        win::RegKey key;
        m_bKeyExisted = key.Open(HKEY_CURRENT_USER, kProfileKey, KEY_READ) == ERROR_SUCCESS;
        if (m_bKeyExisted) m_savedInstallPath = key.ReadRaw(L"InstallPath");

        m_strProgramFolder = m_folder.Path() + L"\\Program Files\\Kavendor";
        ASSERT_TRUE(win::CreateDirectories(m_strProgramFolder));
        m_strWorkFolder = m_folder.Path() + L"\\Downloads";
        ASSERT_TRUE(win::CreateDirectories(m_strWorkFolder));
        const std::wstring standIn = BuildOutput(L"kv_noapp_standin.exe");
        m_strHandler = m_strProgramFolder + L"\\Kavendor_noapp.exe";
        m_strMainProgram = m_strProgramFolder + L"\\Kavendor.exe";
        ASSERT_TRUE(::CopyFileW(BuildOutput(L"..\\..\\noapp\\Kavendor_noapp.exe").c_str(), m_strHandler.c_str(), FALSE));
        ASSERT_TRUE(::CopyFileW(standIn.c_str(), m_strMainProgram.c_str(), FALSE));
        // A rundll32.exe beside the handler and one in the folder it starts in must never be run.
        ASSERT_TRUE(::CopyFileW(standIn.c_str(), (m_strProgramFolder + L"\\rundll32.exe").c_str(), FALSE));
        ASSERT_TRUE(::CopyFileW(standIn.c_str(), (m_strWorkFolder + L"\\rundll32.exe").c_str(), FALSE));

        m_strLog = m_folder.File(L"started.log");
        ASSERT_TRUE(::SetEnvironmentVariableW(L"KV_STANDIN_LOG", m_strLog.c_str()));
        SetInstallPath(m_strMainProgram);
    }

    void TearDown() override {
        if (!m_bLocked) return;
        win::RegKey key;
        if (key.Open(HKEY_CURRENT_USER, kProfileKey, KEY_READ | KEY_WRITE) == ERROR_SUCCESS) {
            if (m_savedInstallPath)
                key.WriteRaw(L"InstallPath", m_savedInstallPath->type, m_savedInstallPath->data.data(),
                             static_cast<DWORD>(m_savedInstallPath->data.size()));
            else
                key.DeleteValue(L"InstallPath");
            key.Close();
            // A key made only for the test goes again (deletion fails if anything else is in it).
            if (!m_bKeyExisted) ::RegDeleteKeyW(HKEY_CURRENT_USER, kProfileKey);
        }
        ::SetEnvironmentVariableW(L"KV_STANDIN_LOG", nullptr);
        ::ReleaseMutex(m_hLock.get());
    }

    void SetInstallPath(const std::wstring& path) {
        win::RegKey key;
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kProfileKey, KEY_WRITE), ERROR_SUCCESS);
        ASSERT_EQ(key.WriteString(L"InstallPath", path), ERROR_SUCCESS);
    }

    ProcessRun Run(const std::wstring& fileArgument, bool dialogExpected, DialogAction action) {
        ProcessRun run;
        win::UniqueKernelHandle job(::CreateJobObjectW(nullptr, nullptr));
        EXPECT_TRUE(job);
        std::wstring commandLine = L"\"" + m_strHandler + L"\" " + fileArgument;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!::CreateProcessW(m_strHandler.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                              nullptr, m_strWorkFolder.c_str(), &startup, &info)) {
            ADD_FAILURE() << "handler not started: " << ::GetLastError();
            return run;
        }
        win::UniqueKernelHandle process(info.hProcess);
        win::UniqueKernelHandle thread(info.hThread);
        EXPECT_TRUE(::AssignProcessToJobObject(job.get(), process.get()));
        ::ResumeThread(thread.get());

        if (dialogExpected) {
            HWND dialog = nullptr;
            noapptest::WaitFor([&] { return (dialog = noapptest::FindHandlerDialog(info.dwProcessId, 0)) != nullptr; });
            run.dialogSeen = dialog != nullptr;
            if (dialog) {
                run.shownName = noapptest::ControlText(dialog, IDC_FILENAME);
                noapptest::PlayAction(dialog, action);
            }
        }
        run.exited = ::WaitForSingleObject(process.get(), 30000) == WAIT_OBJECT_0;
        if (!run.exited) {
            // A window nobody closed (a dialog where none belongs) keeps it alive.
            run.dialogSeen = run.dialogSeen || noapptest::FindHandlerDialog(info.dwProcessId, 0) != nullptr;
            ::TerminateJobObject(job.get(), 1);
            return run;
        }
        ::GetExitCodeProcess(process.get(), &run.exitCode);

        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
        bool drained = noapptest::WaitFor([&] {
            return ::QueryInformationJobObject(job.get(), JobObjectBasicAccountingInformation, &accounting,
                                               sizeof(accounting), nullptr) &&
                   accounting.ActiveProcesses == 0;
        });
        EXPECT_TRUE(drained) << "programs started by the handler did not end";
        ::TerminateJobObject(job.get(), 1);
        run.processesStarted = accounting.TotalProcesses - 1;
        run.log = ReadLog();
        return run;
    }

    std::vector<LogLine> ReadLog() const {
        std::vector<LogLine> lines;
        std::wstring text = win::Utf8ToWide(kvtest::ReadFileBytes(m_strLog));
        std::wistringstream stream(text);
        std::wstring line;
        while (std::getline(stream, line)) {
            size_t tab = line.find(L'\t');
            if (tab == std::wstring::npos) continue;
            lines.push_back({line.substr(0, tab), fw::CommandLineTail(line.c_str() + tab + 1)});
        }
        return lines;
    }

    kvtest::TempFolder m_folder;
    std::wstring m_strProgramFolder, m_strWorkFolder, m_strHandler, m_strMainProgram, m_strLog;

private:
    win::UniqueKernelHandle m_hLock;
    bool m_bLocked = false;
    bool m_bKeyExisted = false;
    std::optional<win::RegValue> m_savedInstallPath;
};

struct ProcessCase {
    const char* label;
    std::wstring file;      // relative to the test folder unless absolute
    bool create;            // whether the file exists
    bool dialog;
    DialogAction action;
    bool mainProgramStarted;
    DWORD processesStarted;
};

TEST_F(NoAppProcess, HandsTheFileToWhatTheUserChose) {
    std::vector<ProcessCase> cases = {
        {"extension, first choice", L"My Files\\report.abc", true, true, DialogAction::ChooseKavendor, true, 1},
        {"extension, second choice", L"My Files\\report.abc", true, true, DialogAction::ChooseWindows, false, 1},
        {"cancel", L"My Files\\report.abc", true, true, DialogAction::Cancel, false, 0},
        {"no extension", L"My Files\\README", true, false, DialogAction::Cancel, false, 1},
        {"name ending with a dot", L"My Files\\notes.", false, false, DialogAction::Cancel, false, 1},
        {"missing file", L"C:\\no such folder\\gone report.xyz", false, true, DialogAction::ChooseKavendor, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ::DeleteFileW(m_strLog.c_str());
        std::wstring path = c.file.size() > 1 && c.file[1] == L':' ? c.file : m_folder.File(c.file);
        if (c.create) m_folder.WriteFile(c.file, "data");

        ProcessRun run = Run(path, c.dialog, c.action);
        ASSERT_TRUE(run.exited);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.dialogSeen, c.dialog);
        if (c.dialog) {
            EXPECT_EQ(run.shownName, win::FileNameOf(path));
        }
        EXPECT_EQ(run.processesStarted, c.processesStarted);
        // Only the main program's stand-in may have run; the planted rundll32.exe files never.
        ASSERT_EQ(run.log.size(), c.mainProgramStarted ? 1u : 0u);
        if (c.mainProgramStarted) {
            EXPECT_TRUE(win::EqualsNoCase(run.log[0].program, m_strMainProgram)) << win::WideToUtf8(run.log[0].program);
            // The whole rest of the command line is the path, spaces and all.
            EXPECT_EQ(run.log[0].parameters, path);
        }
    }
}

TEST_F(NoAppProcess, WithoutInstallPathNothingIsStarted) {
    win::RegKey key;
    ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kProfileKey, KEY_WRITE), ERROR_SUCCESS);
    ASSERT_EQ(key.DeleteValue(L"InstallPath"), ERROR_SUCCESS);
    std::wstring path = m_folder.WriteFile(L"report.abc", "data");
    ProcessRun run = Run(path, true, DialogAction::ChooseKavendor);
    ASSERT_TRUE(run.exited);
    EXPECT_TRUE(run.dialogSeen);
    EXPECT_EQ(run.processesStarted, 0u);
    EXPECT_TRUE(run.log.empty());
}

TEST_F(NoAppProcess, EmptyCommandLineEndsWithoutWindow) {
    ProcessRun run = Run(L"", false, DialogAction::Cancel);
    ASSERT_TRUE(run.exited);
    EXPECT_FALSE(run.dialogSeen);
    EXPECT_EQ(run.processesStarted, 0u);
}

TEST_F(NoAppProcess, VersionResourceNamesTheProgram) {
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(m_strHandler.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(::GetFileVersionInfoW(m_strHandler.c_str(), 0, size, block.data()));
    wchar_t* text = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\StringFileInfo\\040904b0\\FileDescription",
                                 reinterpret_cast<void**>(&text), &length));
    EXPECT_EQ(std::wstring(text), L"Kavendor application finder");
}

}  // namespace
