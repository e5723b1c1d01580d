// Undo files: the value syntax regedit reads, and the round trip through the system's regedit
// that puts the registry back exactly as it was before the program's writes.
#include <gtest/gtest.h>

#include "engine/ExtScanner.h"
#include "engine/RegBackup.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/TempFolder.h"
#include "win/RegKey.h"

namespace kvtest {
namespace {

win::RegValue Value(DWORD type, std::vector<BYTE> bytes) { return win::RegValue{type, std::move(bytes)}; }

std::vector<BYTE> Wide(const std::wstring& text, bool terminator = true) {
    const BYTE* p = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(p, p + (text.size() + (terminator ? 1 : 0)) * sizeof(wchar_t));
}

TEST(RegBackupFormatTest, ValuesAreWrittenInRegeditSyntax) {
    struct Case {
        const wchar_t* name;
        win::RegValue value;
        const wchar_t* expected;
    } cases[] = {
        {L"", Value(REG_SZ, Wide(L"txtfile")), L"@=\"txtfile\""},
        {L"Quo\"te\\d", Value(REG_SZ, Wide(L"C:\\a \"b\"")), L"\"Quo\\\"te\\\\d\"=\"C:\\\\a \\\"b\\\"\""},
        {L"n", Value(REG_DWORD, {0x78, 0x56, 0x34, 0x12}), L"\"n\"=dword:12345678"},
        {L"b", Value(REG_BINARY, {0x00, 0xff, 0x10}), L"\"b\"=hex:00,ff,10"},
        {L"none", Value(REG_NONE, {}), L"\"none\"=hex(0):"},
        {L"x", Value(REG_EXPAND_SZ, Wide(L"%a")), L"\"x\"=hex(2):25,00,61,00,00,00"},
        // No terminating zero: kept byte for byte rather than gaining one on restore.
        {L"", Value(REG_SZ, Wide(L"ab", false)), L"@=hex(1):61,00,62,00"},
        {L"", Value(REG_SZ, {}), L"@=hex(1):"},
        {L"l", Value(REG_SZ, Wide(L"a\r\nb")), L"\"l\"=hex(1):61,00,0d,00,0a,00,62,00,00,00"},
        {L"q", Value(REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}), L"\"q\"=hex(b):01,00,00,00,00,00,00,00"},
    };
    for (const auto& c : cases) EXPECT_EQ(CRegBackup::FormatValue(c.name, c.value), c.expected) << c.expected;
}

TEST(RegBackupFormatTest, LongDataIsWrappedWithContinuationLines) {
    std::wstring line = CRegBackup::FormatValue(L"big", Value(REG_BINARY, std::vector<BYTE>(100, 0xab)));
    EXPECT_NE(line.find(L",\\\r\n  ab"), std::wstring::npos);
    for (size_t start = 0, end; start < line.size(); start = end + 2) {
        end = line.find(L"\r\n", start);
        if (end == std::wstring::npos) end = line.size();
        EXPECT_LE(end - start, 80u);
    }
}

class RegBackupRoundTripTest : public ::testing::Test {
protected:
    EngineWorld w;
    RegBackupRoot Classes() { return w.Env().ClassesRootForBackup(); }
};

TEST_F(RegBackupRoundTripTest, ImportRestoresValuesTreesAndRemovesWhatWasCreated) {
    const HKEY root = w.Classes();
    RegistrySandbox::SetRaw(root, L".x", L"", REG_SZ, L"abc", 6);  // no terminator
    RegistrySandbox::SetString(root, L".x", L"Content Type", L"text/x");
    RegistrySandbox::SetString(root, L"tree\\shell\\open\\command", L"", L"%SystemRoot%\\a.exe \"%1\"", REG_EXPAND_SZ);
    RegistrySandbox::SetString(root, L"tree\\shell\\open", L"", L"&Open");
    RegistrySandbox::SetDword(root, L"tree", L"EditFlags", 0x10000);
    std::vector<BYTE> blob(300);
    for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<BYTE>(i * 7);
    RegistrySandbox::SetRaw(root, L"tree\\data", L"blob", REG_BINARY, blob.data(), static_cast<DWORD>(blob.size()));
    const wchar_t multi[] = L"one\0two\0";
    RegistrySandbox::SetRaw(root, L"tree\\data", L"multi", REG_MULTI_SZ, multi, sizeof multi);
    RegistrySandbox::SetRaw(root, L"tree\\data", L"q\"uote\\d", REG_NONE, nullptr, 0);
    RegistrySandbox::SetString(root, L"tree\\CurVer", L"", L"tree.2");
    const RegistryImage before = ImageOf(root);

    CRegBackup backup;
    backup.AddValues(Classes(), L".x", {L"", L"content type", L"NotThere"});
    backup.AddTree(Classes(), L"tree");
    backup.AddTree(Classes(), L"new\\deep");
    backup.AddValues(Classes(), L".created\\OpenWithProgIDs", {L"a"});
    ASSERT_TRUE(backup.IsComplete());
    const std::wstring file = backup.WriteFile(w.Env().BackupFolder(), L"test");
    ASSERT_FALSE(file.empty());

    // What the program's writes might do to these keys.
    RegistrySandbox::SetString(root, L".x", L"", L"other");
    RegistrySandbox::SetString(root, L".x", L"NotThere", L"now there");
    win::DeleteKeyRecursive(root, L"tree\\shell");
    RegistrySandbox::SetString(root, L"tree\\extra", L"", L"added");
    RegistrySandbox::SetString(root, L"tree", L"EditFlags", L"changed type");
    RegistrySandbox::SetString(root, L"new\\deep\\er", L"", L"created");
    RegistrySandbox::SetString(root, L".created\\OpenWithProgIDs", L"a", L"");
    ASSERT_NE(ImageOf(root), before);

    ASSERT_TRUE(ImportWithRegedit(file));
    EXPECT_EQ(ImageOf(root), before);
}

TEST_F(RegBackupRoundTripTest, UnwritableFolderGivesNoFile) {
    CRegBackup backup;
    backup.AddValues(Classes(), L".x", {L""});
    WriteFileAt(w.Env().BackupFolder(), "a file, not a folder");
    EXPECT_TRUE(backup.WriteFile(w.Env().BackupFolder(), L"test").empty());
}

TEST(RepairBackupTest, ImportingTheRepairBackupRestoresTheRegistryExactly) {
    EngineWorld w;
    w.SoundProgId(L"goodfile");
    w.BrokenProgId(L"badfile");
    // Every flag, and an extension with nothing sound anywhere.
    w.ClassesDefault(L".d1", L"badfile");
    w.ClassesOpenWith(L".d1", L"goodfile");
    w.ClassesOpenWith(L".d1", L"badfile");
    w.UserChoice(L".u2", L"badfile");
    RegistrySandbox::SetString(w.User(), std::wstring(kFileExts) + L"\\.u2\\UserChoice", L"Hash", L"xyz=");
    w.UserOpenWith(L".u2", L"goodfile");
    w.UserOpenWith(L".u2", L"gonefile");
    w.ClassesDefault(L".n3", L"badfile");
    w.UserChoice(L".n3", L"badfile");
    w.ClassesDefault(L".ok", L"goodfile");
    const RegistryImage classesBefore = ImageOf(w.Classes());
    const RegistryImage userBefore = ImageOf(w.User());

    CExtScanner scanner(w.Env());
    ASSERT_TRUE(ScanAndWait(scanner, L"", nullptr));
    ASSERT_TRUE(RepairAndWait(scanner, nullptr));
    ASSERT_FALSE(scanner.m_strRepairBackup.empty());
    ASSERT_EQ(w.BackupFiles(), std::vector<std::wstring>{scanner.m_strRepairBackup});
    ASSERT_NE(ImageOf(w.Classes()), classesBefore);
    ASSERT_NE(ImageOf(w.User()), userBefore);

    ASSERT_TRUE(ImportWithRegedit(scanner.m_strRepairBackup));
    EXPECT_EQ(ImageOf(w.Classes()), classesBefore);
    EXPECT_EQ(ImageOf(w.User()), userBefore);
}

}  // namespace
}  // namespace kvtest
