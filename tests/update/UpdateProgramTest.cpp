#include <gtest/gtest.h>

#include "tests/update/TorkTestSupport.h"
#include "update/UpdateCommandLine.h"
#include "win/Strings.h"
#include "win/UniqueHandle.h"

namespace {

TEST(UpdateCommandLine, WholeLineIsOneSwitchInAnyCase) {
    struct Case {
        const wchar_t* line;
        UpdateCommand command;
    };
    const Case cases[] = {
        {L"-AddTask", UpdateCommand::AddTask},
        {L"-ADDTASK", UpdateCommand::AddTask},
        {L"-deletetask", UpdateCommand::DeleteTask},
        {L"-ShutDown", UpdateCommand::ShutDown},
        {L"-FS", UpdateCommand::ForceShow},
        {L"-AddTask -fs", UpdateCommand::Window},
        {L"-AddTask ", UpdateCommand::Window},
        {L"AddTask", UpdateCommand::Window},
        {L"", UpdateCommand::Window},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseUpdateCommandLine(c.line), c.command) << win::WideToUtf8(c.line);
    EXPECT_TRUE(UpdateCommandShowsWindow(UpdateCommand::ForceShow));
    EXPECT_TRUE(UpdateCommandShowsWindow(UpdateCommand::Window));
    EXPECT_FALSE(UpdateCommandShowsWindow(UpdateCommand::AddTask));
    EXPECT_FALSE(UpdateCommandShowsWindow(UpdateCommand::DeleteTask));
    EXPECT_FALSE(UpdateCommandShowsWindow(UpdateCommand::ShutDown));
}

TEST(UpdateProgram, StartsAndEndsWithExitCodeZero) {
    std::wstring program = torktest::BuildOutput(L"..\\..\\update\\Velmora_Update3.exe");
    for (const wchar_t* arguments : {L"", L"-fs", L"-AddTask -fs"}) {
        std::wstring commandLine = L"\"" + program + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        ASSERT_TRUE(::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                     &startup, &info));
        win::UniqueKernelHandle process(info.hProcess);
        win::UniqueKernelHandle thread(info.hThread);
        ASSERT_EQ(::WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
        DWORD exitCode = 99;
        ::GetExitCodeProcess(process.get(), &exitCode);
        EXPECT_EQ(exitCode, 0u);
    }
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(program.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(::GetFileVersionInfoW(program.c_str(), 0, size, block.data()));
    wchar_t* text = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\StringFileInfo\\040904b0\\OriginalFilename",
                                 reinterpret_cast<void**>(&text), &length));
    EXPECT_EQ(std::wstring(text), L"Velmora_Update3.exe");
}

}  // namespace
