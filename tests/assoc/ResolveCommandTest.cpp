#include <gtest/gtest.h>

#include "assoc/FileExtRegUtil.h"
#include "tests/assoc/AssocTestUtil.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/support/TempFolder.h"

using kvtest::Lower;
using kvtest::RegistrySandbox;
using kvtest::ScopedEnv;
using kvtest::TempFolder;

namespace {

// Files and environment every resolution case runs against.
class ResolveCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = folder.Path();
        folder.WriteFile(L"app.exe", "MZ");
        folder.WriteFile(L"tool.exe", "MZ");
        folder.WriteFile(L"mod.dll", "MZ");
        folder.WriteFile(L"sub dir\\prog.exe", "MZ");
        folder.WriteFile(L"bin\\kvonpath.exe", "MZ");
        folder.WriteFile(L"apps\\kvapptool.exe", "MZ");
        folder.WriteFile(L"pf64\\vendor\\x64only.exe", "MZ");
        folder.WriteFile(L"cf64\\shared\\x64common.dll", "MZ");
        folder.WriteFile(L"kvcwdtool.exe", "MZ");
        RegistrySandbox::SetString(sandbox.Machine(),
                                   L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\kvapptool.exe", L"",
                                   dir + L"\\apps\\kvapptool.exe");
    }

    std::wstring ExpandedSystemFile(const std::wstring& name) {
        return kvtest::EnvValue(L"SystemRoot") + L"\\system32\\" + name;
    }

    TempFolder folder;
    std::wstring dir;
    RegistrySandbox sandbox;
};

struct ResolveCase {
    const char* label;
    std::wstring command;
    bool resolves;
    std::wstring expected;     // the text afterwards
    bool exactCase = true;     // false: compared without regard to case (system folders)
};

}  // namespace

TEST_F(ResolveCommandTest, EveryCommandFormAndFallback) {
    ScopedEnv fixtureDir(L"KVT_DIR", dir.c_str());
    std::wstring path = dir + L"\\bin;" + kvtest::EnvValue(L"PATH");
    ScopedEnv searchPath(L"PATH", path.c_str());
    CFileExtRegUtil util(sandbox.Roots(), kvtest::PlainPlatform());
    const std::wstring d = Lower(dir);
    const std::wstring longTail(300, L'a');

    std::vector<ResolveCase> cases = {
        {"quoted path with quoted %1", L"\"" + dir + L"\\sub dir\\prog.exe\" \"%1\"", true, d + L"\\sub dir\\prog.exe"},
        {"upper-case quoted path", L"\"" + dir + L"\\APP.EXE\" \"%1\"", true, d + L"\\app.exe"},
        {"quoted path alone", L"\"" + dir + L"\\app.exe\"", true, d + L"\\app.exe"},
        {"plain path with argument", dir + L"\\app.exe %1", true, d + L"\\app.exe"},
        {"environment reference", L"%KVT_DIR%\\app.exe \"%1\"", true, dir + L"\\app.exe"},
        {"rundll32 with module path", L"rundll32.exe " + dir + L"\\mod.dll,OpenFile %1", true, d + L"\\mod.dll"},
        {"rundll32 without .exe", L"RunDll32 " + dir + L"\\mod.dll,Entry", true, d + L"\\mod.dll"},
        {"rundll32 with a full path", L"c:\\windows\\system32\\rundll32.exe " + dir + L"\\mod.dll,Entry", true,
         d + L"\\mod.dll"},
        {"resource reference", L"@" + dir + L"\\mod.dll,-101", true, d + L"\\mod.dll"},
        {"placeholder with %*", L"\"%1\" %*", true, L"%1"},
        {"bare placeholder", L"%1", true, L"%1"},
        {"system folder program", L"notepad.exe %1", true, ExpandedSystemFile(L"notepad.exe"), false},
        {"system root reference", L"%SystemRoot%\\system32\\NOTEPAD.EXE %1", true, ExpandedSystemFile(L"notepad.exe"),
         false},
        {"App Paths program", L"kvapptool.exe \"%1\"", true, dir + L"\\apps\\kvapptool.exe"},
        {"search path program", L"kvonpath.exe \"%1\"", true, dir + L"\\bin\\kvonpath.exe", false},
        {"switch after path", dir + L"\\app.exe /p %1", true, d + L"\\app.exe"},
        {".exe retry after switch", dir + L"\\tool /x", true, d + L"\\tool.exe"},
        {"missing drive path with switch", L"c:\\kvmissing\\x.exe /s", false, L"c:\\kvmissing\\x.exe"},
        {"missing quoted path", L"\"" + dir + L"\\gone.exe\" \"%1\"", false, d + L"\\gone.exe"},
        {"missing rundll32 module", L"rundll32.exe " + dir + L"\\gone.dll,Entry", false, d + L"\\gone.dll"},
        {"missing bare program", L"kvnosuchtool.exe %1", false, L"kvnosuchtool.exe"},
        {"bare name with argument", L"notepad %1", false, L"notepad %1"},
        {"folder is no program", L"\"" + dir + L"\"", false, d},
        {"empty quotes", L"\"\"", false, L""},
        {"empty command", L"", false, L""},
        {"expansion beyond the limit stays", L"%KVT_DIR%\\" + longTail + L".exe", false,
         L"%kvt_dir%\\" + longTail + L".exe"},
    };
    for (const auto& c : cases) {
        std::wstring text = c.command;
        EXPECT_EQ(util.ResolveCommand(text), c.resolves) << c.label;
        if (c.exactCase)
            EXPECT_EQ(text, c.expected) << c.label;
        else
            EXPECT_EQ(Lower(text), Lower(c.expected)) << c.label;
    }
}

TEST_F(ResolveCommandTest, ExeRetryFindsProgramInCurrentFolder) {
    CFileExtRegUtil util(sandbox.Roots(), kvtest::PlainPlatform());
    wchar_t old[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, old);
    ASSERT_TRUE(::SetCurrentDirectoryW(dir.c_str()));
    std::wstring withSwitch = L"kvcwdtool /x";
    std::wstring withArgument = L"kvcwdtool %1";
    bool switchResolves = util.ResolveCommand(withSwitch);
    bool argumentResolves = util.ResolveCommand(withArgument);
    ::SetCurrentDirectoryW(old);
    EXPECT_TRUE(switchResolves);
    EXPECT_EQ(withSwitch, L"kvcwdtool.exe");
    // No step separates an argument that is not a switch.
    EXPECT_FALSE(argumentResolves);
}

TEST_F(ResolveCommandTest, Wow64LooksInTheSixtyFourBitProgramFolders) {
    std::wstring pf32 = dir + L"\\pf32", pf64 = dir + L"\\pf64", cf32 = dir + L"\\cf32", cf64 = dir + L"\\cf64";
    ScopedEnv a(L"ProgramFiles", pf32.c_str()), b(L"ProgramW6432", pf64.c_str());
    ScopedEnv c(L"CommonProgramFiles", cf32.c_str()), e(L"CommonProgramW6432", cf64.c_str());
    AssocPlatform wow = kvtest::PlainPlatform();
    wow.bWow64 = 1;
    CFileExtRegUtil util32(sandbox.Roots(), wow);
    CFileExtRegUtil util64(sandbox.Roots(), kvtest::PlainPlatform());

    std::wstring program = L"\"%ProgramFiles%\\vendor\\x64only.exe\" \"%1\"";
    std::wstring common = L"%CommonProgramFiles%\\shared\\x64common.dll";
    std::wstring text = program;
    EXPECT_TRUE(util32.ResolveCommand(text));
    EXPECT_EQ(Lower(text), Lower(pf64 + L"\\vendor\\x64only.exe"));
    text = common;
    EXPECT_TRUE(util32.ResolveCommand(text));
    EXPECT_EQ(Lower(text), Lower(cf64 + L"\\shared\\x64common.dll"));
    // A 64-bit process reads the variables as they are and does not find them.
    text = program;
    EXPECT_FALSE(util64.ResolveCommand(text));
    text = common;
    EXPECT_FALSE(util64.ResolveCommand(text));
}

TEST_F(ResolveCommandTest, AppPathsValueMustBeAPlainExistingText) {
    CFileExtRegUtil util(sandbox.Roots(), kvtest::PlainPlatform());
    const std::wstring base = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
    RegistrySandbox::SetString(sandbox.Machine(), base + L"kvexpand.exe", L"", dir + L"\\apps\\kvapptool.exe",
                               REG_EXPAND_SZ);
    RegistrySandbox::SetString(sandbox.Machine(), base + L"kvgone.exe", L"", dir + L"\\apps\\gone.exe");
    RegistrySandbox::SetString(sandbox.Machine(), base + L"kvempty.exe", L"", L"");
    DWORD number = 5;
    RegistrySandbox::SetRaw(sandbox.Machine(), base + L"kvdword.exe", L"", REG_DWORD, &number, sizeof number);
    for (const wchar_t* name : {L"kvexpand.exe", L"kvgone.exe", L"kvempty.exe", L"kvdword.exe"}) {
        std::wstring text = name;
        EXPECT_FALSE(util.ResolveCommand(text)) << name;
    }
}

TEST_F(ResolveCommandTest, CacheHoldsVerdictsUntilTurnedOff) {
    CFileExtRegUtil util(sandbox.Roots(), kvtest::PlainPlatform());
    std::wstring program = folder.WriteFile(L"cached.exe", "MZ");
    const std::wstring command = L"\"" + program + L"\" \"%1\"";
    util.EnableResolveCache(true);
    std::wstring text = command;
    ASSERT_TRUE(util.ResolveCommand(text));
    ASSERT_TRUE(::DeleteFileW(program.c_str()));
    text = command;
    EXPECT_TRUE(util.ResolveCommand(text));  // the scan's view of the file
    EXPECT_EQ(text, Lower(program));
    util.EnableResolveCache(false);
    text = command;
    EXPECT_FALSE(util.ResolveCommand(text));
}
