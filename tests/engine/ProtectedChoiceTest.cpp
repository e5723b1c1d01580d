// Systems that protect the per-user choice (Windows 8 and later): the repair, the Manage change
// and the monitor page's apply point the per-user association at a type through the per-user
// classes default and never write a "UserChoice" or "UserChoiceLatest" key; the same fixtures
// with the fact off keep the older writes. A removal the system denies is a failure.
#include <gtest/gtest.h>

#include <functional>

#include "engine/AssocWriter.h"
#include "engine/ExtScanner.h"
#include "engine/ExtensionManager.h"
#include "engine/ScanEngine.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/fixtures/DeniedKey.h"
#include "win/Strings.h"

namespace kvtest {
namespace {

std::wstring FileExt(const std::wstring& ext) { return std::wstring(kFileExts) + L"\\" + ext; }
std::wstring Latest(const std::wstring& ext) { return FileExt(ext) + L"\\UserChoiceLatest"; }
std::wstring UserClasses(const std::wstring& ext) { return L"Software\\Classes\\" + ext; }

// Every key of an image whose last name is a choice key (any case).
std::vector<std::wstring> ChoiceKeys(const RegistryImage& image) {
    std::vector<std::wstring> keys;
    for (const auto& [path, values] : image) {
        const std::wstring lower = win::ToLower(path);
        for (const wchar_t* tail : {L"\\userchoice", L"\\userchoicelatest"}) {
            const std::wstring t = tail;
            if (lower.size() >= t.size() && lower.compare(lower.size() - t.size(), t.size(), t) == 0)
                keys.push_back(path);
        }
    }
    return keys;
}

struct RepairCase {
    const char* name;
    std::function<void(EngineWorld&)> plant;
    const wchar_t* intended;  // the type the extension ends at
};

void PrintTo(const RepairCase& c, std::ostream* os) { *os << c.name; }

class ProtectedRepairTest : public ::testing::TestWithParam<RepairCase> {};

// The same fixture with the fact off and on.
TEST_P(ProtectedRepairTest, EndsAtTheIntendedTypeWithoutWritingAChoiceKey) {
    const RepairCase& c = GetParam();
    for (BOOL protectedChoice : {0, 1}) {
        SCOPED_TRACE(protectedChoice ? "protected" : "older system");
        EngineWorld w;
        w.Env().m_platform.bProtectedUserChoice = protectedChoice;
        w.SoundProgId(L"GoodType");
        w.SoundProgId(L"dbtype");
        w.SoundProgId(L"userfile");
        w.BrokenProgId(L"badfile");
        c.plant(w);
        RegistrySandbox::SetString(w.User(), FileExt(L".r") + L"\\UserChoice", L"Hash", L"abc=");
        RegistrySandbox::SetString(w.User(), Latest(L".r"), L"ProgId", L"badfile");
        RegistrySandbox::SetString(w.User(), Latest(L".r"), L"Hash", L"def=");

        CExtScanner scanner(w.Env());
        ASSERT_TRUE(ScanAndWait(scanner, L"", nullptr));
        ASSERT_EQ(Result(scanner, L".r")->GetProblems(), static_cast<UINT>(EXT_PROBLEM_USER_CHOICE));
        EventRecorder events;
        ASSERT_TRUE(RepairAndWait(scanner, &events));
        EXPECT_TRUE(Result(scanner, L".r")->IsFixed());
        EXPECT_EQ(w.History().size(), 1u);

        if (protectedChoice) {
            EXPECT_EQ(ChoiceKeys(ImageOf(w.User())), std::vector<std::wstring>{});
            EXPECT_EQ(RegistrySandbox::GetString(w.User(), UserClasses(L".r"), L""), c.intended);
        } else {
            // The older write: the choice key is made afresh with only the new ProgId.
            EXPECT_EQ(w.UserChoiceValue(L".r"), c.intended);
            EXPECT_EQ(RegistrySandbox::GetString(w.User(), FileExt(L".r") + L"\\UserChoice", L"Hash"), L"<absent>");
            EXPECT_FALSE(RegistrySandbox::KeyExists(w.User(), UserClasses(L".r")));
        }
        // Read back as the system of the same kind reads it.
        CExtScanner again(w.Env());
        ASSERT_TRUE(ScanAndWait(again, L"", nullptr));
        CFileExtension* record = Result(again, L".r");
        if (protectedChoice) {
            EXPECT_EQ(record->GetProblems(), 0u);
            EXPECT_EQ(record->GetCurrentProgID(), c.intended);
        } else {
            // The older system never read "UserChoiceLatest".
            EXPECT_EQ(record->m_userChoice.m_strProgID, c.intended);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    UserChoice, ProtectedRepairTest,
    ::testing::Values(
        RepairCase{"FromUserOpenWith",
                   [](EngineWorld& w) {
                       w.UserChoice(L".r", L"badfile");
                       w.UserOpenWith(L".r", L"GoodType");
                       w.ClassesDefault(L".r", L"userfile");
                   },
                   L"goodtype"},
        RepairCase{"FromDatabase",
                   [](EngineWorld& w) {
                       w.UserChoice(L".r", L"badfile");
                       w.DatabaseExtension(L"r", L"doc", L"dbtype");
                       w.ClassesDefault(L".r", L"userfile");
                   },
                   L"dbtype"},
        RepairCase{"FromClassesDefault",
                   [](EngineWorld& w) {
                       w.UserChoice(L".r", L"badfile");
                       w.ClassesDefault(L".r", L"userfile");
                   },
                   L"userfile"}),
    [](const ::testing::TestParamInfo<RepairCase>& info) { return std::string(info.param.name); });

TEST(ProtectedRepair, DeniedRemovalIsAFailureAndLeavesTheRecordUnfixed) {
    EngineWorld w;
    w.Env().m_platform.bProtectedUserChoice = 1;
    w.SoundProgId(L"userfile");
    w.BrokenProgId(L"badfile");
    w.UserChoice(L".d", L"badfile");
    w.ClassesDefault(L".d", L"userfile");
    CRemovalDeniedKey guard(w.User(), FileExt(L".d") + L"\\UserChoice");
    ASSERT_TRUE(guard.IsLocked());

    CExtScanner scanner(w.Env());
    ASSERT_TRUE(ScanAndWait(scanner, L"", nullptr));
    EventRecorder events;
    ASSERT_TRUE(RepairAndWait(scanner, &events));
    CFileExtension* record = Result(scanner, L".d");
    ASSERT_NE(record, nullptr);
    EXPECT_FALSE(record->IsFixed());
    EXPECT_TRUE(w.History().empty());
    EXPECT_EQ(w.UserChoiceValue(L".d"), L"badfile");
    EXPECT_FALSE(RegistrySandbox::KeyExists(w.User(), UserClasses(L".d")));
}

TEST(ProtectedRepair, BrokenPerUserClassesDefaultIsRepairedWhereItIsRead) {
    EngineWorld w;
    w.Env().m_platform.bProtectedUserChoice = 1;
    w.SoundProgId(L"goodfile");
    w.ClassesDefault(L".u", L"goodfile");
    RegistrySandbox::SetString(w.User(), UserClasses(L".u"), L"", L"gonefile");
    w.ClassesOpenWith(L".u", L"goodfile");
    const RegistryImage classesBefore = ImageOf(w.Classes());
    const RegistryImage userBefore = ImageOf(w.User());

    CExtScanner scanner(w.Env());
    ASSERT_TRUE(ScanAndWait(scanner, L"", nullptr));
    ASSERT_EQ(Result(scanner, L".u")->GetProblems(), static_cast<UINT>(EXT_PROBLEM_CLASSES_DEFAULT));
    ASSERT_TRUE(RepairAndWait(scanner, nullptr));
    EXPECT_TRUE(Result(scanner, L".u")->IsFixed());
    EXPECT_EQ(RegistrySandbox::GetString(w.User(), UserClasses(L".u"), L""), L"goodfile");
    CExtScanner again(w.Env());
    ASSERT_TRUE(ScanAndWait(again, L"", nullptr));
    EXPECT_EQ(Result(again, L".u")->GetProblems(), 0u);

    // The undo file holds the per-user classes default too.
    ASSERT_TRUE(ImportWithRegedit(scanner.m_strRepairBackup));
    EXPECT_EQ(ImageOf(w.Classes()), classesBefore);
    EXPECT_EQ(ImageOf(w.User()), userBefore);
}

TEST(ProtectedRepair, UndoFileRestoresTheRemovedChoiceKeysAndThePerUserClasses) {
    EngineWorld w;
    w.Env().m_platform.bProtectedUserChoice = 1;
    w.SoundProgId(L"userfile");
    w.BrokenProgId(L"badfile");
    w.UserChoice(L".n", L"badfile");
    RegistrySandbox::SetString(w.User(), FileExt(L".n") + L"\\UserChoice", L"Hash", L"abc=");
    RegistrySandbox::SetString(w.User(), Latest(L".n") + L"\\ProgId", L"ProgId", L"badfile");
    w.ClassesDefault(L".n", L"userfile");
    const RegistryImage classesBefore = ImageOf(w.Classes());
    const RegistryImage userBefore = ImageOf(w.User());

    CExtScanner scanner(w.Env());
    ASSERT_TRUE(ScanAndWait(scanner, L"", nullptr));
    ASSERT_TRUE(RepairAndWait(scanner, nullptr));
    ASSERT_TRUE(Result(scanner, L".n")->IsFixed());
    ASSERT_NE(ImageOf(w.User()), userBefore);

    ASSERT_TRUE(ImportWithRegedit(scanner.m_strRepairBackup));
    EXPECT_EQ(ImageOf(w.Classes()), classesBefore);
    EXPECT_EQ(ImageOf(w.User()), userBefore);
}

class ProtectedManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        w.Env().m_platform.bProtectedUserChoice = 1;
        w.SoundProgId(L"txtfile");
        w.ClassesDefault(L".txt", L"txtfile");
        newCommand = L"\"" + w.Folder() + L"\\programs\\editor.exe\" \"%1\"";
        WriteFileAt(w.Folder() + L"\\programs\\editor.exe", "MZ");
    }
    std::unique_ptr<CFileExtension> Load() {
        auto record = std::make_unique<CFileExtension>(L".txt");
        CExtensionManager manager(w.Env());
        manager.LoadOne(*record);
        return record;
    }

    EngineWorld w;
    std::wstring newCommand;
};

TEST_F(ProtectedManagerTest, ChangePointsThePerUserClassesAtTheOwnTypeAndTheUndoFileRestores) {
    w.UserChoice(L".txt", L"txtfile");
    RegistrySandbox::SetString(w.User(), Latest(L".txt"), L"ProgId", L"txtfile");
    const RegistryImage classesBefore = ImageOf(w.Classes());
    const RegistryImage userBefore = ImageOf(w.User());
    auto record = Load();
    ASSERT_EQ(record->GetCurrentProgID(), L"txtfile");

    CExtensionManager manager(w.Env());
    KVChangeResult result = KVChangeResult::WriteFailed;
    std::wstring backup;
    ASSERT_TRUE(manager.ChangeAction(*record, L"open", newCommand, nullptr, &result, &backup));
    EXPECT_EQ(result, KVChangeResult::Changed);
    EXPECT_EQ(ChoiceKeys(ImageOf(w.User())), std::vector<std::wstring>{});
    EXPECT_EQ(RegistrySandbox::GetString(w.User(), UserClasses(L".txt"), L""), L"kavendor.txt.filetype");
    EXPECT_EQ(RegistrySandbox::GetString(w.Classes(), L"Kavendor.txt.Filetype\\shell\\open\\command", L""), newCommand);
    // The record shows what a fresh read shows.
    auto reread = Load();
    EXPECT_TRUE(win::EqualsNoCase(reread->GetCurrentProgID(), L"Kavendor.txt.Filetype"));
    EXPECT_TRUE(win::EqualsNoCase(record->GetCurrentProgID(), reread->GetCurrentProgID()));
    EXPECT_EQ(record->m_userChoice.m_strProgID, reread->m_userChoice.m_strProgID);

    ASSERT_TRUE(ImportWithRegedit(backup));
    EXPECT_EQ(ImageOf(w.Classes()), classesBefore);
    EXPECT_EQ(ImageOf(w.User()), userBefore);
}

TEST_F(ProtectedManagerTest, DeniedRemovalMakesTheChangeFail) {
    w.UserChoice(L".txt", L"txtfile");
    CRemovalDeniedKey guard(w.User(), FileExt(L".txt") + L"\\UserChoice");
    ASSERT_TRUE(guard.IsLocked());
    auto record = Load();
    CExtensionManager manager(w.Env());
    KVChangeResult result = KVChangeResult::Changed;
    EXPECT_FALSE(manager.ChangeAction(*record, L"open", newCommand, nullptr, &result));
    EXPECT_EQ(result, KVChangeResult::WriteFailed);
    EXPECT_EQ(w.UserChoiceValue(L".txt"), L"txtfile");
    EXPECT_FALSE(RegistrySandbox::KeyExists(w.User(), UserClasses(L".txt")));
    EXPECT_EQ(RegistrySandbox::GetString(w.Classes(), L"txtfile\\shell\\open\\command", L""), w.SoundCommand());
    EXPECT_TRUE(w.History().empty());
}

TEST(ProtectedApply, EngineApplyWritesThePerUserClassesAndReportsADeniedRemoval) {
    for (bool denied : {false, true}) {
        SCOPED_TRACE(denied ? "denied" : "allowed");
        EngineWorld w;
        w.Env().m_platform.bProtectedUserChoice = 1;
        w.SoundProgId(L"goodfile");
        w.UserChoice(L".p", L"otherfile");
        std::unique_ptr<CRemovalDeniedKey> guard;
        if (denied) guard = std::make_unique<CRemovalDeniedKey>(w.User(), FileExt(L".p") + L"\\UserChoice");
        CKVScanEngine engine(nullptr, w.Env());
        CFileTypeInfo type(L"GoodFile");
        EXPECT_EQ(engine.ApplyChange(type, L".p"), denied ? 0 : 1);
        EXPECT_EQ(RegistrySandbox::GetString(w.User(), UserClasses(L".p"), L""), denied ? L"<absent>" : L"goodfile");
        EXPECT_EQ(w.UserChoiceValue(L".p"), denied ? L"otherfile" : L"<absent>");
        EXPECT_EQ(w.History().size(), denied ? 0u : 1u);
    }
}

}  // namespace
}  // namespace kvtest
