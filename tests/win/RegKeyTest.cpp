#include <gtest/gtest.h>

#include "tests/support/RegistrySandbox.h"
#include "win/RegKey.h"

using kvtest::RegistrySandbox;

namespace {

struct RawCase {
    const char* label;
    DWORD type;
    std::vector<BYTE> bytes;
    bool readsAsString;
    std::wstring text;
};

std::vector<BYTE> Bytes(const std::wstring& text, size_t dropBytes = 0, bool terminator = true) {
    std::vector<BYTE> bytes(reinterpret_cast<const BYTE*>(text.c_str()),
                            reinterpret_cast<const BYTE*>(text.c_str()) + (text.size() + (terminator ? 1 : 0)) * 2);
    bytes.resize(bytes.size() - dropBytes);
    return bytes;
}

TEST(RegKey, ReadsStringDataOfAnyShapeSafely) {
    RegistrySandbox sandbox;
    std::vector<RawCase> cases = {
        {"terminated", REG_SZ, Bytes(L"notepad.exe"), true, L"notepad.exe"},
        {"no terminator", REG_SZ, Bytes(L"abc", 0, false), true, L"abc"},
        {"odd byte count", REG_SZ, Bytes(L"abcd", 3), true, L"abc"},
        {"embedded zero cuts", REG_SZ, Bytes(std::wstring(L"ab\0cd", 5)), true, L"ab"},
        {"empty data", REG_SZ, {}, true, L""},
        {"expand string", REG_EXPAND_SZ, Bytes(L"%SystemRoot%\\x.exe"), true, L"%SystemRoot%\\x.exe"},
        {"multi string gives first", REG_MULTI_SZ, Bytes(std::wstring(L"one\0two\0", 8)), true, L"one"},
        {"dword is not text", REG_DWORD, {1, 0, 0, 0}, false, L""},
        {"binary is not text", REG_BINARY, {0x41, 0, 0x42, 0}, false, L""},
    };
    for (const auto& c : cases) {
        RegistrySandbox::SetRaw(sandbox.Classes(), L"k", L"v", c.type, c.bytes.data(),
                                static_cast<DWORD>(c.bytes.size()));
        win::RegKey key;
        ASSERT_EQ(key.Open(sandbox.Classes(), L"k", KEY_READ), ERROR_SUCCESS);
        auto text = key.ReadString(L"v");
        EXPECT_EQ(text.has_value(), c.readsAsString) << c.label;
        if (text) {
            EXPECT_EQ(*text, c.text) << c.label;
        }
    }
}

TEST(RegKey, LargeValuesAndNumericTypesAreChecked) {
    RegistrySandbox sandbox;
    std::wstring big(200000, L'x');
    RegistrySandbox::SetString(sandbox.Classes(), L"k", L"big", big);
    RegistrySandbox::SetDword(sandbox.Classes(), L"k", L"d", 7);
    BYTE three[3] = {1, 2, 3};
    RegistrySandbox::SetRaw(sandbox.Classes(), L"k", L"short", REG_DWORD, three, 3);
    win::RegKey key;
    ASSERT_EQ(key.Open(sandbox.Classes(), L"k", KEY_READ | KEY_WRITE), ERROR_SUCCESS);
    EXPECT_EQ(key.ReadString(L"big").value_or(L""), big);
    EXPECT_EQ(key.ReadDword(L"d").value_or(0), 7u);
    EXPECT_FALSE(key.ReadDword(L"short").has_value());
    EXPECT_FALSE(key.ReadDword(L"big").has_value());
    EXPECT_FALSE(key.ReadQword(L"d").has_value());
    EXPECT_FALSE(key.ReadString(L"missing").has_value());
    ASSERT_EQ(key.WriteQword(L"q", 0x0123456789ABCDEFull), ERROR_SUCCESS);
    EXPECT_EQ(key.ReadQword(L"q").value_or(0), 0x0123456789ABCDEFull);
}

TEST(RegKey, EnumeratesAndDeletesTrees) {
    RegistrySandbox sandbox;
    RegistrySandbox::SetString(sandbox.Classes(), L"tree\\a\\b\\c", L"", L"deep");
    RegistrySandbox::SetString(sandbox.Classes(), L"tree\\d", L"x", L"1");
    win::RegKey tree;
    ASSERT_EQ(tree.Open(sandbox.Classes(), L"tree", KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(tree.SubKeyNames(), (std::vector<std::wstring>{L"a", L"d"}));
    tree.Close();
    EXPECT_EQ(win::DeleteKeyRecursive(sandbox.Classes(), L"tree"), ERROR_SUCCESS);
    EXPECT_FALSE(RegistrySandbox::KeyExists(sandbox.Classes(), L"tree"));
    EXPECT_EQ(win::DeleteKeyRecursive(sandbox.Classes(), L"tree"), ERROR_FILE_NOT_FOUND);
}

}  // namespace
