#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "app/InstallMode.h"

namespace {

// Files that "exist" for these cases; the long form of a missing file cannot be had.
bool FakeExists(const std::wstring& path) {
    return path == L"C:\\a b\\x.TXT" || path == L"C:\\data\\README" || path == L"C:\\Progra~1\\x.pdf" ||
           path == L"C:\\Program Files\\x.pdf";
}
std::wstring FakeLongPath(const std::wstring& path) {
    if (path == L"C:\\Progra~1\\x.pdf") return L"C:\\Program Files\\x.pdf";
    return FakeExists(path) ? path : std::wstring();
}

struct Case {
    const wchar_t* line;
    bool install, uninstall, shutdown, scan, tray;
    const wchar_t* extension;
};

TEST(CommandLine, SwitchesAndPaths) {
    const Case cases[] = {
        {L"", false, false, false, false, false, L""},
        {L"-install", true, false, false, false, false, L""},
        {L"-UNINSTALL", false, true, false, false, false, L""},
        {L"-Shutdown", false, false, true, false, false, L""},
        {L"-SCAN", false, false, false, true, false, L""},
        {L"-tray", false, false, false, false, true, L""},
        // The whole line is compared: two switches are a (missing) path without extension.
        {L"-scan -tray", false, false, false, false, false, L""},
        {L"C:\\a b\\x.TXT", false, false, false, true, false, L".TXT"},
        {L"\"C:\\a b\\x.TXT\"", false, false, false, true, false, L".TXT"},
        // Only the first of several quoted tokens counts.
        {L"\"C:\\a b\\x.TXT\" \"C:\\other.doc\"", false, false, false, true, false, L".TXT"},
        {L"C:\\data\\README", false, false, false, true, false, L""},
        {L"C:\\gone\\missing.pdf", false, false, false, true, false, L".pdf"},
        {L"C:\\gone\\missing", false, false, false, false, false, L""},
        {L"C:\\Progra~1\\x.pdf", false, false, false, true, false, L".pdf"},
        {L"C:\\dir.d\\noext", false, false, false, false, false, L""},
    };
    for (const auto& c : cases) {
        CommandLineRequest r = ParseCommandLine(c.line, &FakeLongPath, &FakeExists);
        EXPECT_EQ(r.install, c.install) << c.line;
        EXPECT_EQ(r.uninstall, c.uninstall) << c.line;
        EXPECT_EQ(r.shutdown, c.shutdown) << c.line;
        EXPECT_EQ(r.scan, c.scan) << c.line;
        EXPECT_EQ(r.tray, c.tray) << c.line;
        EXPECT_EQ(r.extension, c.extension) << c.line;
        EXPECT_FALSE(r.report) << c.line;
    }
}

TEST(CommandLine, ReportTakesAPath) {
    CommandLineRequest r = ParseCommandLine(L"-Report \"C:\\out dir\\scan.json\"", &FakeLongPath, &FakeExists);
    EXPECT_TRUE(r.report);
    EXPECT_EQ(r.reportPath, L"C:\\out dir\\scan.json");
    EXPECT_FALSE(r.scan);
    // Without a path it is not a report request.
    EXPECT_FALSE(ParseCommandLine(L"-report ", &FakeLongPath, &FakeExists).report);
}

TEST(CommandLine, HostileLinesStayBounded) {
    std::wstring huge(100000, L'x');
    CommandLineRequest r = ParseCommandLine(huge + L".ext", &FakeLongPath, &FakeExists);
    EXPECT_EQ(r.extension, L".ext");
    EXPECT_TRUE(ParseCommandLine(L"\"", &FakeLongPath, &FakeExists).extension.empty());
    EXPECT_TRUE(ParseCommandLine(L"\"\"", &FakeLongPath, &FakeExists).extension.empty());
    EXPECT_TRUE(ParseCommandLine(L"\" \"", &FakeLongPath, &FakeExists).extension.empty());
}

TEST(SearchedExtension, Derivation) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\dl\\KavendorSetup_pdf_2.exe", L".pdf"},
        {L"KavendorSetup_docx_.exe", L".docx"},
        {L"C:\\dl\\Setup__x.exe", L""},
        {L"C:\\dl\\Setup_x.exe", L""},
        {L"C:\\dl_a_b\\Setup.exe", L""},  // underscores of folders do not count
        {L"Setup.exe", L""},
        {L"a_b_c_d", L".b"},
        {L"", L""},
    };
    for (const auto& [value, expected] : cases) EXPECT_EQ(DeriveSearchedExtension(value), expected) << value;
}

}  // namespace
