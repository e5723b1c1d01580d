#include <gtest/gtest.h>

#include "noapp/NoApp.h"
#include "tests/support/TempFolder.h"
#include "win/Strings.h"

namespace {

struct ParseCase {
    const char* label;
    std::wstring commandLine;
    std::wstring path;
    std::wstring name;
    std::wstring extension;
};

TEST(NoAppParse, PathNameAndExtensionOfTheCommandLine) {
    kvtest::TempFolder folder;
    std::wstring spaced = folder.WriteFile(L"dir with spaces\\my report.abc", "x");
    std::wstring dotted = folder.WriteFile(L"notes.", "x");
    const std::wstring gone = L"C:\\no such folder\\gone.xyz";
    std::vector<ParseCase> cases = {
        {"existing file in a folder with spaces", spaced, spaced, L"my report.abc", L"abc"},
        {"quoted path", L"\"" + spaced + L"\"", spaced, L"my report.abc", L"abc"},
        {"missing file is passed on as given", gone, gone, L"gone.xyz", L"xyz"},
        {"no extension", L"C:\\docs\\README", L"C:\\docs\\README", L"README", L""},
        {"dot only in the folder", L"C:\\my.docs\\README", L"C:\\my.docs\\README", L"README", L""},
        {"name ending with a dot", L"C:\\docs\\notes.", L"C:\\docs\\notes.", L"notes.", L""},
        {"last dot counts", L"C:\\a\\backup.tar.gz", L"C:\\a\\backup.tar.gz", L"backup.tar.gz", L"gz"},
        {"leading dot", L"C:\\a\\.profile", L"C:\\a\\.profile", L".profile", L"profile"},
        {"drive-relative name", L"C:report.abc", L"C:report.abc", L"report.abc", L"abc"},
        {"forward slashes", L"C:/a/b/report.abc", L"C:/a/b/report.abc", L"report.abc", L"abc"},
        {"folder without a file name", L"C:\\docs\\", L"C:\\docs\\", L"", L""},
        {"empty", L"", L"", L"", L""},
        {"only quotes", L"\"\"", L"", L"", L""},
    };
    for (const auto& c : cases) {
        NoAppTarget target = CNoApp::ParseCommandLine(c.commandLine);
        EXPECT_EQ(target.strFilePath, c.path) << c.label;
        EXPECT_EQ(target.strFileName, c.name) << c.label;
        EXPECT_EQ(target.strExtension, c.extension) << c.label;
    }
    // A real file whose name ends with a dot keeps it (Win32 drops it, so the file is named "notes").
    NoAppTarget dottedTarget = CNoApp::ParseCommandLine(dotted);
    EXPECT_EQ(dottedTarget.strExtension, L"");
}

TEST(NoAppParse, ExistingFileIsPassedOnInItsLongForm) {
    kvtest::TempFolder folder;
    std::wstring file = folder.WriteFile(L"Mixed Case Folder\\Report.ABC", "x");
    // The long form spells every part as the file system does.
    std::wstring given = win::ToLower(file);
    NoAppTarget target = CNoApp::ParseCommandLine(given);
    EXPECT_EQ(win::ToLower(target.strFilePath), given);
    EXPECT_EQ(target.strFileName, L"Report.ABC");
    EXPECT_EQ(target.strExtension, L"ABC");
}

TEST(NoAppParse, OpenWithRunsTheSystemFoldersRundll32) {
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    EXPECT_EQ(win::ToLower(CNoApp::OpenWithProgram()), win::ToLower(std::wstring(system) + L"\\rundll32.exe"));
    EXPECT_EQ(CNoApp::OpenWithParameters(L"C:\\a b\\c.d"), L"shell32.dll,OpenAs_RunDLL C:\\a b\\c.d");
}

}  // namespace
