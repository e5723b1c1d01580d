#include <gtest/gtest.h>

#include <algorithm>

#include "assoc/FileExtRegUtil.h"
#include "tests/assoc/AssocTestUtil.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/support/TempFolder.h"

using kvtest::RegistrySandbox;

namespace {

std::vector<BYTE> TextBytes(const std::wstring& text, bool terminator, size_t dropBytes = 0) {
    const BYTE* begin = reinterpret_cast<const BYTE*>(text.c_str());
    std::vector<BYTE> bytes(begin, begin + (text.size() + (terminator ? 1 : 0)) * sizeof(wchar_t));
    bytes.resize(bytes.size() - dropBytes);
    return bytes;
}

int g_nDisableCalls = 0;
int g_nRevertCalls = 0;
PVOID g_pRevertState = nullptr;

BOOL WINAPI FakeDisable(PVOID* state) {
    ++g_nDisableCalls;
    *state = reinterpret_cast<PVOID>(0x1234);
    return TRUE;
}
BOOL WINAPI FakeRevert(PVOID state) {
    ++g_nRevertCalls;
    g_pRevertState = state;
    return TRUE;
}
BOOL WINAPI FailingDisable(PVOID*) {
    ++g_nDisableCalls;
    return FALSE;
}

}  // namespace

TEST(FileExtRegUtil, ReadValueTakesAnyTypeAsTextSafely) {
    RegistrySandbox sandbox;
    CFileExtRegUtil util(sandbox.Roots(), kvtest::PlainPlatform());
    struct Case {
        const char* label;
        DWORD type;
        std::vector<BYTE> bytes;
        std::wstring text;
    };
    std::wstring big(100000, L'q');
    std::vector<Case> cases = {
        {"terminated text", REG_SZ, TextBytes(L"txtfile", true), L"txtfile"},
        {"no terminator", REG_SZ, TextBytes(L"txtfile", false), L"txtfile"},
        {"odd byte count", REG_SZ, TextBytes(L"abcd", false, 1), L"abc"},
        {"expand text stays unexpanded", REG_EXPAND_SZ, TextBytes(L"%SystemRoot%\\a.exe", true),
         L"%SystemRoot%\\a.exe"},
        {"multi string gives its first", REG_MULTI_SZ, TextBytes(std::wstring(L"one\0two\0", 8), true), L"one"},
        {"dword read as text", REG_DWORD, {0x61, 0, 0x62, 0}, L"ab"},
        {"binary with zero first", REG_BINARY, {0, 0, 0x41, 0}, L""},
        {"single byte", REG_BINARY, {0x41}, L""},
        {"empty data", REG_SZ, {}, L""},
        {"very long value", REG_SZ, TextBytes(big, false), big},
    };
    for (const auto& c : cases) {
        RegistrySandbox::SetRaw(sandbox.Classes(), L"k", L"v", c.type, c.bytes.data(),
                                static_cast<DWORD>(c.bytes.size()));
        DWORD type = 0xFFFF;
        EXPECT_EQ(util.ReadValue(sandbox.Classes(), L"k", L"v", &type), c.text) << c.label;
        EXPECT_EQ(type, c.type) << c.label;
        EXPECT_TRUE(util.ValueExists(sandbox.Classes(), L"k", L"v")) << c.label;
    }
    DWORD untouched = 77;
    EXPECT_EQ(util.ReadValue(sandbox.Classes(), L"k", L"missing", &untouched), L"");
    EXPECT_EQ(untouched, 77u);
    EXPECT_EQ(util.ReadValue(sandbox.Classes(), L"nokey", L""), L"");
    EXPECT_FALSE(util.ValueExists(sandbox.Classes(), L"k", L"missing"));
    EXPECT_FALSE(util.ValueExists(sandbox.Classes(), L"nokey", L""));
}

TEST(FileExtRegUtil, UserChoiceKeyPathDependsOnShellGeneration) {
    RegistrySandbox sandbox;
    AssocPlatform legacy = kvtest::PlainPlatform();
    legacy.bLegacyShell = 1;
    CFileExtRegUtil modernUtil(sandbox.Roots(), kvtest::PlainPlatform());
    CFileExtRegUtil legacyUtil(sandbox.Roots(), legacy);
    EXPECT_EQ(modernUtil.GetUserChoiceKeyPath(),
              L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\%s\\UserChoice");
    EXPECT_EQ(legacyUtil.GetUserChoiceKeyPath(), L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\%s");
    EXPECT_EQ(modernUtil.UserChoiceKey(L".t%st"),
              L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.t%st\\UserChoice");
    EXPECT_FALSE(modernUtil.m_bProtectedUserChoice);
}

TEST(FileExtRegUtil, EnumExtensionKeysKeepsDottedNamesLowerCased) {
    RegistrySandbox sandbox;
    CFileExtRegUtil util(sandbox.Roots(), kvtest::PlainPlatform());
    for (const wchar_t* key : {L".TXT", L"*", L"CLSID", L"txtfile", L".Doc"})
        RegistrySandbox::SetString(sandbox.Classes(), key, L"", L"x");
    const std::wstring fileExts = KV_FILEEXTS_KEY;
    for (const wchar_t* key : {L".txt", L".Zip", L"junk"})
        RegistrySandbox::SetString(sandbox.User(), fileExts + L"\\" + key, L"", L"x");

    std::vector<std::wstring> list;
    util.EnumExtensionKeys(sandbox.Classes(), list);
    std::sort(list.begin(), list.end());
    EXPECT_EQ(list, (std::vector<std::wstring>{L".doc", L".txt"}));
    list.clear();
    util.EnumExtensionKeys(sandbox.User(), list);
    std::sort(list.begin(), list.end());
    EXPECT_EQ(list, (std::vector<std::wstring>{L".txt", L".zip"}));
    list.clear();
    util.EnumExtensionKeys(sandbox.Machine(), list);
    EXPECT_TRUE(list.empty());
}

TEST(FileExtRegUtil, ReadOpenWithProgIDsSkipsDefaultAndKeepsCase) {
    RegistrySandbox sandbox;
    CFileExtRegUtil util(sandbox.Roots(), kvtest::PlainPlatform());
    RegistrySandbox::SetString(sandbox.Classes(), L".txt\\OpenWithProgIDs", L"", L"ignored");
    RegistrySandbox::SetString(sandbox.Classes(), L".txt\\OpenWithProgIDs", L"TxtFile", L"");
    RegistrySandbox::SetRaw(sandbox.Classes(), L".txt\\OpenWithProgIDs", L"Word.Document.8", REG_NONE, nullptr, 0);
    RegistrySandbox::SetString(sandbox.User(), std::wstring(KV_FILEEXTS_KEY) + L"\\.txt\\OpenWithProgIDs",
                               L"Notepad++_file", L"");
    std::vector<std::wstring> list;
    util.ReadOpenWithProgIDs(sandbox.Classes(), L".txt", list);
    std::sort(list.begin(), list.end());
    EXPECT_EQ(list, (std::vector<std::wstring>{L"TxtFile", L"Word.Document.8"}));
    list.clear();
    util.ReadOpenWithProgIDs(sandbox.User(), L".txt", list);
    EXPECT_EQ(list, (std::vector<std::wstring>{L"Notepad++_file"}));
    list.clear();
    util.ReadOpenWithProgIDs(sandbox.Classes(), L".none", list);
    EXPECT_TRUE(list.empty());
}

TEST(FileExtRegUtil, DeleteKeyTreeRemovesNestedKeys) {
    RegistrySandbox sandbox;
    CFileExtRegUtil util(sandbox.Roots(), kvtest::PlainPlatform());
    RegistrySandbox::SetString(sandbox.Classes(), L"t\\a\\b\\c", L"v", L"1");
    RegistrySandbox::SetString(sandbox.Classes(), L"t\\a\\d", L"", L"2");
    RegistrySandbox::SetString(sandbox.Classes(), L"t\\e", L"", L"3");
    RegistrySandbox::SetString(sandbox.Classes(), L"keep", L"", L"4");
    EXPECT_TRUE(util.DeleteKeyTree(sandbox.Classes(), L"t"));
    EXPECT_FALSE(RegistrySandbox::KeyExists(sandbox.Classes(), L"t"));
    EXPECT_TRUE(RegistrySandbox::KeyExists(sandbox.Classes(), L"keep"));
    EXPECT_FALSE(util.DeleteKeyTree(sandbox.Classes(), L"t"));
    EXPECT_FALSE(util.DeleteKeyTree(sandbox.Classes(), L""));
}

TEST(FileExtRegUtil, CopyKeyTreeCopiesValuesOfEveryTypeAndSubkeys) {
    RegistrySandbox sandbox;
    CFileExtRegUtil util(sandbox.Roots(), kvtest::PlainPlatform());
    RegistrySandbox::SetString(sandbox.Classes(), L"src", L"", L"Text Document");
    RegistrySandbox::SetString(sandbox.Classes(), L"src\\shell\\open\\command", L"", L"%SystemRoot%\\notepad.exe %1",
                               REG_EXPAND_SZ);
    RegistrySandbox::SetDword(sandbox.Classes(), L"src", L"EditFlags", 0x10000);
    BYTE odd[3] = {1, 2, 3};
    RegistrySandbox::SetRaw(sandbox.Classes(), L"src\\CurVer", L"raw", REG_BINARY, odd, 3);
    RegistrySandbox::SetString(sandbox.Classes(), L"empty", L"", L"");
    win::RegKey source;
    ASSERT_EQ(source.Open(sandbox.Classes(), L"src", KEY_READ), ERROR_SUCCESS);
    ASSERT_TRUE(util.CopyKeyTree(source.get(), sandbox.Classes(), L"dst"));
    EXPECT_EQ(RegistrySandbox::GetString(sandbox.Classes(), L"dst", L""), L"Text Document");
    DWORD type = 0;
    EXPECT_EQ(util.ReadValue(sandbox.Classes(), L"dst\\shell\\open\\command", L"", &type),
              L"%SystemRoot%\\notepad.exe %1");
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    win::RegKey copy;
    ASSERT_EQ(copy.Open(sandbox.Classes(), L"dst\\CurVer", KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(copy.ReadBinary(L"raw").value_or(std::vector<BYTE>{}), (std::vector<BYTE>{1, 2, 3}));
    win::RegKey flags;
    ASSERT_EQ(flags.Open(sandbox.Classes(), L"dst", KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(flags.ReadDword(L"EditFlags").value_or(0), 0x10000u);

    // An empty source creates the destination and succeeds.
    RegistrySandbox::SetString(sandbox.Classes(), L"bare", L"x", L"");
    win::RegKey bareParent;
    ASSERT_EQ(bareParent.Open(sandbox.Classes(), L"bare", KEY_ALL_ACCESS), ERROR_SUCCESS);
    bareParent.DeleteValue(L"x");
    EXPECT_TRUE(util.CopyKeyTree(bareParent.get(), sandbox.Classes(), L"bare2"));
    EXPECT_TRUE(RegistrySandbox::KeyExists(sandbox.Classes(), L"bare2"));
}

TEST(FileExtRegUtil, CopyIntoItsOwnSubtreeEnds) {
    RegistrySandbox sandbox;
    CFileExtRegUtil util(sandbox.Roots(), kvtest::PlainPlatform());
    RegistrySandbox::SetString(sandbox.Classes(), L"loop\\child", L"", L"x");
    win::RegKey source;
    ASSERT_EQ(source.Open(sandbox.Classes(), L"loop", KEY_READ), ERROR_SUCCESS);
    // The copy must end (it cannot be complete, because it grows its own source).
    util.CopyKeyTree(source.get(), source.get(), L"copy");
    EXPECT_TRUE(RegistrySandbox::KeyExists(sandbox.Classes(), L"loop\\copy\\child"));
}

TEST(FileExtRegUtil, FileExistsRetriesWithoutRedirectionAndAlwaysReverts) {
    RegistrySandbox sandbox;
    kvtest::TempFolder folder;
    std::wstring present = folder.WriteFile(L"here.exe", "MZ");
    AssocPlatform wow = kvtest::PlainPlatform();
    wow.bWow64 = 1;
    wow.pfnDisableRedirection = FakeDisable;
    wow.pfnRevertRedirection = FakeRevert;
    CFileExtRegUtil util(sandbox.Roots(), wow);

    g_nDisableCalls = g_nRevertCalls = 0;
    EXPECT_TRUE(util.FileExists(present));
    EXPECT_EQ(g_nDisableCalls, 0);
    EXPECT_FALSE(util.FileExists(folder.File(L"absent.exe")));
    EXPECT_EQ(g_nDisableCalls, 1);
    EXPECT_EQ(g_nRevertCalls, 1);
    EXPECT_EQ(g_pRevertState, reinterpret_cast<PVOID>(0x1234));

    // A redirection that could not be turned off is not turned back on.
    wow.pfnDisableRedirection = FailingDisable;
    CFileExtRegUtil failing(sandbox.Roots(), wow);
    g_nDisableCalls = g_nRevertCalls = 0;
    EXPECT_FALSE(failing.FileExists(folder.File(L"absent.exe")));
    EXPECT_EQ(g_nDisableCalls, 1);
    EXPECT_EQ(g_nRevertCalls, 0);
}

TEST(FileExtRegUtil, MasksCarryTheSixtyFourBitViewUnderWow64) {
    RegistrySandbox sandbox;
    AssocPlatform wow = kvtest::PlainPlatform();
    wow.bWow64 = 1;
    CFileExtRegUtil wowUtil(sandbox.Roots(), wow);
    CFileExtRegUtil plainUtil(sandbox.Roots(), kvtest::PlainPlatform());
    EXPECT_EQ(wowUtil.Mask(KV_MASK_READ), static_cast<REGSAM>(0x20119));
    EXPECT_EQ(plainUtil.Mask(KV_MASK_READ), static_cast<REGSAM>(0x20019));
    EXPECT_EQ(wowUtil.Mask(KV_MASK_ALL_ACCESS), static_cast<REGSAM>(0xF013F));
    // Every operation still works with the flag on this system.
    RegistrySandbox::SetString(sandbox.Classes(), L"v\\w", L"", L"data");
    EXPECT_EQ(wowUtil.ReadValue(sandbox.Classes(), L"v\\w", L""), L"data");
    EXPECT_TRUE(wowUtil.DeleteKeyTree(sandbox.Classes(), L"v"));
    EXPECT_FALSE(RegistrySandbox::KeyExists(sandbox.Classes(), L"v"));
}
