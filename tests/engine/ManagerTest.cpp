// The extension manager: loading for the Manage page and changing a verb's program through the
// program's own file type, with its undo file.
#include <gtest/gtest.h>

#include "engine/ExtensionManager.h"
#include "engine/ScanEngine.h"
#include "tests/engine/EngineTestSupport.h"
#include "win/RegKey.h"

namespace kvtest {
namespace {

class ManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const HKEY c = w.Classes();
        w.ClassesDefault(L".txt", L"txtfile");
        RegistrySandbox::SetString(c, L"txtfile", L"", L"Text Document");
        RegistrySandbox::SetString(c, L"txtfile\\shell\\open", L"", L"&Open");
        RegistrySandbox::SetString(c, L"txtfile\\shell\\open\\command", L"", w.SoundCommand());
        RegistrySandbox::SetString(c, L"txtfile\\shell\\open\\ddeexec", L"", L"[open]");
        RegistrySandbox::SetString(c, L"txtfile\\shell\\print\\command", L"", w.SoundCommand() + L" /p");
        RegistrySandbox::SetString(c, L"txtfile\\CurVer", L"", L"txtfile.1");
        newCommand = L"\"" + w.Folder() + L"\\programs\\editor.exe\" \"%1\"";
        WriteFileAt(w.Folder() + L"\\programs\\editor.exe", "MZ");
    }
    std::unique_ptr<CFileExtension> Load(const std::wstring& name) {
        auto record = std::make_unique<CFileExtension>(name);
        CExtensionManager manager(w.Env());
        manager.LoadOne(*record);
        return record;
    }
    static std::wstring Own() { return L"Kavendor.txt.Filetype"; }

    EngineWorld w;
    std::wstring newCommand;
};

TEST_F(ManagerTest, FirstChangeCopiesTheTypeWithoutCurVerAndPointsTheUserChoice) {
    const RegistryImage txtfileBefore = [&] {
        win::RegKey k;
        k.Open(w.Classes(), L"txtfile", KEY_READ);
        return ImageOf(k.get());
    }();
    auto record = Load(L".txt");
    ASSERT_EQ(record->GetCurrentProgID(), L"txtfile");
    CExtensionManager manager(w.Env());
    KVChangeResult result = KVChangeResult::WriteFailed;
    std::wstring backup;
    ASSERT_TRUE(manager.ChangeAction(*record, L"open", newCommand, nullptr, &result, &backup));
    EXPECT_EQ(result, KVChangeResult::Changed);

    const HKEY c = w.Classes();
    EXPECT_EQ(RegistrySandbox::GetString(c, Own(), L""), L"Text Document");
    EXPECT_FALSE(RegistrySandbox::KeyExists(c, Own() + L"\\CurVer"));
    EXPECT_EQ(RegistrySandbox::GetString(c, Own() + L"\\shell\\print\\command", L""), w.SoundCommand() + L" /p");
    EXPECT_EQ(RegistrySandbox::GetString(c, Own() + L"\\shell\\open\\command", L""), newCommand);
    EXPECT_EQ(RegistrySandbox::GetString(c, Own() + L"\\shell\\open", L""), L"&Open");
    EXPECT_FALSE(RegistrySandbox::KeyExists(c, Own() + L"\\shell\\open\\ddeexec"));
    // The old command is kept beside the new one.
    EXPECT_EQ(RegistrySandbox::GetString(c, Own() + L"\\shell\\open\\command", L"KVBU"), w.SoundCommand());
    EXPECT_EQ(w.UserChoiceValue(L".txt"), L"kavendor.txt.filetype");
    win::RegKey k;
    ASSERT_EQ(k.Open(c, L"txtfile", KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(ImageOf(k.get()), txtfileBefore);

    EXPECT_EQ(record->GetCurrentProgID(), Own());
    ASSERT_EQ(record->GetCurrentVerbs().count(L"open"), 1u);
    EXPECT_EQ(record->GetCurrentVerbs().at(L"open")->GetCommand(), newCommand);
    auto history = w.History();
    ASSERT_EQ(history.size(), 1u);
    EXPECT_NE(history[0].find(L"Action changed:  Kavendor changed the 'open' action for extension .txt"),
              std::wstring::npos);
    EXPECT_EQ(w.BackupFiles(), std::vector<std::wstring>{backup});
}

TEST_F(ManagerTest, SecondChangeEditsTheOwnTypeInPlace) {
    auto record = Load(L".txt");
    CExtensionManager manager(w.Env());
    ASSERT_TRUE(manager.ChangeAction(*record, L"open", newCommand, nullptr));
    RegistrySandbox::SetString(w.Classes(), Own(), L"Marker", L"kept");
    auto reloaded = Load(L".txt");
    const std::wstring third = w.SoundCommand() + L" /third";
    ASSERT_TRUE(manager.ChangeAction(*reloaded, L"open", third, nullptr));
    EXPECT_EQ(RegistrySandbox::GetString(w.Classes(), Own(), L"Marker"), L"kept");
    EXPECT_EQ(RegistrySandbox::GetString(w.Classes(), Own() + L"\\shell\\open\\command", L""), third);
    EXPECT_EQ(RegistrySandbox::GetString(w.Classes(), L"txtfile\\shell\\open\\command", L""), w.SoundCommand());
    EXPECT_EQ(w.History().size(), 2u);
}

TEST_F(ManagerTest, MissingProgramIsRefusedWithNothingWritten) {
    const RegistryImage classes = ImageOf(w.Classes());
    const RegistryImage user = ImageOf(w.User());
    auto record = Load(L".txt");
    CExtensionManager manager(w.Env());
    KVChangeResult result = KVChangeResult::Changed;
    EXPECT_FALSE(manager.ChangeAction(*record, L"open", L"\"C:\\kv-nowhere\\x.exe\" \"%1\"", nullptr, &result));
    EXPECT_EQ(result, KVChangeResult::ProgramMissing);
    EXPECT_EQ(ImageOf(w.Classes()), classes);
    EXPECT_EQ(ImageOf(w.User()), user);
    EXPECT_TRUE(w.History().empty());
    EXPECT_TRUE(w.BackupFiles().empty());
}

TEST_F(ManagerTest, CommandsStartingWithAnEnvironmentReferenceAreExpandable) {
    struct Case {
        std::wstring command;
        DWORD type;
    } cases[] = {
        {L"%SystemRoot%\\system32\\notepad.exe %1", REG_EXPAND_SZ},
        {L"\"%SystemRoot%\\system32\\notepad.exe\" \"%1\"", REG_EXPAND_SZ},
        {newCommand, REG_SZ},
    };
    CExtensionManager manager(w.Env());
    for (const auto& c : cases) {
        auto record = Load(L".txt");
        ASSERT_TRUE(manager.ChangeAction(*record, L"open", c.command, nullptr)) << c.command;
        win::RegKey key;
        ASSERT_EQ(key.Open(w.Classes(), Own() + L"\\shell\\open\\command", KEY_READ), ERROR_SUCCESS);
        DWORD type = 0;
        EXPECT_EQ(key.ReadString(nullptr, &type).value_or(L""), c.command);
        EXPECT_EQ(type, c.type) << c.command;
    }
}

TEST_F(ManagerTest, ExtensionWithoutTypeGetsAnEmptyOwnTypeWithOnlyTheVerb) {
    RegistrySandbox::SetString(w.Classes(), L".new\\ShellNew", L"NullFile", L"");
    auto record = Load(L".new");
    ASSERT_TRUE(record->GetCurrentProgID().empty());
    CExtensionManager manager(w.Env());
    ASSERT_TRUE(manager.ChangeAction(*record, L"open", newCommand, nullptr));
    win::RegKey own;
    ASSERT_EQ(own.Open(w.Classes(), L"Kavendor.new.Filetype", KEY_READ), ERROR_SUCCESS);
    RegistryImage image = ImageOf(own.get());
    RegistryImage expected;
    expected[L""];
    expected[L"shell"];
    expected[L"shell\\open"];
    const std::wstring& text = newCommand;
    const BYTE* p = reinterpret_cast<const BYTE*>(text.c_str());
    expected[L"shell\\open\\command"][L""] = {REG_SZ, std::vector<BYTE>(p, p + (text.size() + 1) * 2)};
    EXPECT_EQ(image, expected);
    EXPECT_EQ(w.UserChoiceValue(L".new"), L"kavendor.new.filetype");
}

TEST_F(ManagerTest, StaleOwnTypeIsDeletedAndCopiedAgain) {
    RegistrySandbox::SetString(w.Classes(), Own() + L"\\shell\\stale\\command", L"", L"old");
    auto record = Load(L".txt");
    CExtensionManager manager(w.Env());
    ASSERT_TRUE(manager.ChangeAction(*record, L"open", newCommand, nullptr));
    EXPECT_FALSE(RegistrySandbox::KeyExists(w.Classes(), Own() + L"\\shell\\stale"));
    EXPECT_TRUE(RegistrySandbox::KeyExists(w.Classes(), Own() + L"\\shell\\print"));
}

TEST_F(ManagerTest, BrokenUserChoiceNeverLeadsToEditingTheSharedType) {
    w.UserChoice(L".txt", L"gonetype");
    auto record = Load(L".txt");
    ASSERT_EQ(record->GetCurrentProgID(), L"txtfile");
    CExtensionManager manager(w.Env());
    ASSERT_TRUE(manager.ChangeAction(*record, L"open", newCommand, nullptr));
    EXPECT_EQ(RegistrySandbox::GetString(w.Classes(), L"txtfile\\shell\\open\\command", L""), w.SoundCommand());
    EXPECT_EQ(RegistrySandbox::GetString(w.Classes(), Own() + L"\\shell\\open\\command", L""), newCommand);
}

TEST_F(ManagerTest, ImportingTheChangeBackupRestoresTheRegistryExactly) {
    w.UserChoice(L".txt", L"txtfile");
    RegistrySandbox::SetString(w.User(), std::wstring(kFileExts) + L"\\.txt\\UserChoice", L"Hash", L"h=");
    const RegistryImage classes = ImageOf(w.Classes());
    const RegistryImage user = ImageOf(w.User());
    auto record = Load(L".txt");
    CExtensionManager manager(w.Env());
    std::wstring backup;
    ASSERT_TRUE(manager.ChangeAction(*record, L"open", newCommand, nullptr, nullptr, &backup));
    auto again = Load(L".txt");
    std::wstring backup2;
    ASSERT_TRUE(manager.ChangeAction(*again, L"open", w.SoundCommand() + L" /2", nullptr, nullptr, &backup2));
    ASSERT_NE(ImageOf(w.Classes()), classes);
    ASSERT_TRUE(ImportWithRegedit(backup2));
    ASSERT_TRUE(ImportWithRegedit(backup));
    EXPECT_EQ(ImageOf(w.Classes()), classes);
    EXPECT_EQ(ImageOf(w.User()), user);
}

TEST_F(ManagerTest, UnwritableBackupRefusesTheChange) {
    WriteFileAt(w.Env().BackupFolder(), "in the way");
    const RegistryImage classes = ImageOf(w.Classes());
    auto record = Load(L".txt");
    CExtensionManager manager(w.Env());
    KVChangeResult result = KVChangeResult::Changed;
    EXPECT_FALSE(manager.ChangeAction(*record, L"open", newCommand, nullptr, &result));
    EXPECT_EQ(result, KVChangeResult::BackupFailed);
    EXPECT_EQ(ImageOf(w.Classes()), classes);
    EXPECT_TRUE(w.History().empty());
}

TEST_F(ManagerTest, LoadAllListsEachExtensionOnceAndNeverExecutables) {
    w.UserChoice(L".txt", L"txtfile");
    w.ClassesDefault(L".EXE", L"exefile");
    w.ClassesDefault(L".dll", L"dllfile");
    w.ClassesDefault(L".Doc", L"txtfile");
    w.DatabaseExtension(L"txt", L"text document");
    ExtensionMap map;
    CExtensionManager manager(w.Env());
    EXPECT_TRUE(manager.LoadAll(map));
    std::vector<std::wstring> names;
    for (const auto& [name, record] : map) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::wstring>{L".doc", L".txt"}));
    EXPECT_EQ(map.at(L".txt")->GetDescription(), L"text document");
    EXPECT_EQ(map.at(L".txt")->GetCurrentProgID(), L"txtfile");
}

TEST_F(ManagerTest, EngineChangeActionGoesThroughTheManager) {
    EventRecorder events;
    CKVScanEngine engine(&events, w.Env());
    auto record = Load(L".txt");
    EXPECT_TRUE(engine.ChangeAction(*record, L"open", newCommand));
    EXPECT_EQ(RegistrySandbox::GetString(w.Classes(), Own() + L"\\shell\\open\\command", L""), newCommand);
}

}  // namespace
}  // namespace kvtest
