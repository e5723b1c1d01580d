#include <gtest/gtest.h>

#include "win/Paths.h"
#include "win/Strings.h"

TEST(Paths, SplitsNamesAndExtensions) {
    struct Case {
        std::wstring path, folder, name, extension;
    } cases[] = {
        {L"C:\\a b\\x.TXT", L"C:\\a b", L"x.TXT", L".TXT"},
        {L"C:\\data\\README", L"C:\\data", L"README", L""},
        {L"C:\\dir.d\\file", L"C:\\dir.d", L"file", L""},
        {L"C:\\x\\name.", L"C:\\x", L"name.", L"."},
        {L"plain.tar.gz", L"plain.tar.gz", L"plain.tar.gz", L".gz"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(win::FolderOf(c.path), c.folder) << c.path;
        EXPECT_EQ(win::FileNameOf(c.path), c.name) << c.path;
        EXPECT_EQ(win::ExtensionOf(c.path), c.extension) << c.path;
    }
    EXPECT_EQ(win::JoinPath(L"C:\\p\\", L"\\k.exe"), L"C:\\p\\k.exe");
    EXPECT_EQ(win::JoinPath(L"C:\\p", L"k.exe"), L"C:\\p\\k.exe");
}

TEST(Strings, FormatsAndConverts) {
    EXPECT_EQ(win::Format(L"%s %%1", L"C:\\k.exe"), L"C:\\k.exe %1");
    std::wstring longText(5000, L'y');
    EXPECT_EQ(win::Format(L"[%s]", longText.c_str()).size(), 5002u);
    EXPECT_EQ(win::ToLower(L".PDF"), L".pdf");
    EXPECT_TRUE(win::EqualsNoCase(L"-SCAN", L"-scan"));
    EXPECT_FALSE(win::EqualsNoCase(L"-scan -tray", L"-scan"));
    EXPECT_EQ(win::Utf8ToWide(win::WideToUtf8(L"\u00e9t\u00e9")), L"\u00e9t\u00e9");
}
