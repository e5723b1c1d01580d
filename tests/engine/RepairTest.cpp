// The repair thread: every flag, every alternative in its order, the legacy per-user writes,
// searched records, and the undo file that regedit imports to restore the registry exactly.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "engine/ExtScanner.h"
#include "tests/engine/EngineTestSupport.h"
#include "win/Paths.h"
#include "win/RegKey.h"
#include "win/Strings.h"

namespace kvtest {
namespace {

std::wstring FileExt(const std::wstring& ext) { return std::wstring(kFileExts) + L"\\" + ext; }

// Scans everything, repairs, and returns the record of ext.
struct RepairRun {
    CExtScanner scanner;
    EventRecorder events;
    explicit RepairRun(const CEngineEnvironment& env) : scanner(env) {}
    void Go(const std::wstring& filter = L"") {
        ASSERT_TRUE(ScanAndWait(scanner, filter, nullptr));
        ASSERT_TRUE(RepairAndWait(scanner, &events));
        ASSERT_EQ(events.FixCompletions(), 1);
    }
};

struct AlternativeCase {
    const char* name;
    std::function<void(EngineWorld&)> plant;
    const wchar_t* classesDefault;  // expected default value of HKCR\.r afterwards
    const wchar_t* userChoice;      // expected per-user ProgId afterwards
    bool fixed;
};

void PrintTo(const AlternativeCase& c, std::ostream* os) { *os << c.name; }

class RepairAlternativesTest : public ::testing::TestWithParam<AlternativeCase> {};

TEST_P(RepairAlternativesTest, RepairsWithTheFirstSoundAlternative) {
    const AlternativeCase& c = GetParam();
    EngineWorld w;
    w.SoundProgId(L"GoodType");
    w.SoundProgId(L"dbtype");
    w.SoundProgId(L"userfile");
    w.BrokenProgId(L"badfile");
    c.plant(w);
    RepairRun run(w.Env());
    run.Go();
    CFileExtension* record = Result(run.scanner, L".r");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->IsFixed(), c.fixed ? 1 : 0);
    EXPECT_EQ(RegistrySandbox::GetString(w.Classes(), L".r", L""), c.classesDefault);
    EXPECT_EQ(w.UserChoiceValue(L".r"), c.userChoice);
    auto history = w.History();
    ASSERT_EQ(history.size(), c.fixed ? 1u : 0u);
    if (c.fixed) {
        EXPECT_NE(history[0].find(L", Extension fixed:  Kavendor Scan fixed a problem with extension .r"),
                  std::wstring::npos);
    }
    EXPECT_EQ(run.events.LastFixCompleted(), 1);
    ASSERT_EQ(run.scanner.m_pRepairList->size(), 1u);
    EXPECT_EQ(w.BackupFiles().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, RepairAlternativesTest,
    ::testing::Values(
        AlternativeCase{"DefaultFromClassesOpenWith",
                        [](EngineWorld& w) {
                            w.ClassesDefault(L".r", L"badfile");
                            w.ClassesOpenWith(L".r", L"GoodType");
                            w.DatabaseExtension(L"r", L"doc", L"dbtype");
                        },
                        L"goodtype", L"<absent>", true},
        AlternativeCase{"DefaultFromDatabase",
                        [](EngineWorld& w) {
                            w.ClassesDefault(L".r", L"badfile");
                            w.DatabaseExtension(L"r", L"doc", L"dbtype");
                            w.UserChoice(L".r", L"userfile");
                        },
                        L"dbtype", L"userfile", true},
        AlternativeCase{"DefaultFromUserChoice",
                        [](EngineWorld& w) {
                            w.ClassesDefault(L".r", L"badfile");
                            w.DatabaseExtension(L"r", L"doc", L"badfile");
                            w.UserChoice(L".r", L"userfile");
                        },
                        L"userfile", L"userfile", true},
        AlternativeCase{"ChoiceFromUserOpenWith",
                        [](EngineWorld& w) {
                            w.UserChoice(L".r", L"badfile");
                            w.UserOpenWith(L".r", L"GoodType");
                            w.ClassesDefault(L".r", L"userfile");
                        },
                        L"userfile", L"goodtype", true},
        AlternativeCase{"ChoiceFromDatabase",
                        [](EngineWorld& w) {
                            w.UserChoice(L".r", L"badfile");
                            w.DatabaseExtension(L"r", L"doc", L"dbtype");
                            w.ClassesDefault(L".r", L"userfile");
                        },
                        L"userfile", L"dbtype", true},
        AlternativeCase{"ChoiceFromClassesDefault",
                        [](EngineWorld& w) {
                            w.UserChoice(L".r", L"badfile");
                            w.ClassesDefault(L".r", L"userfile");
                        },
                        L"userfile", L"userfile", true},
        AlternativeCase{"NothingSoundAnywhere",
                        [](EngineWorld& w) {
                            w.ClassesDefault(L".r", L"badfile");
                            w.UserChoice(L".r", L"missingtoo");
                            w.DatabaseExtension(L"r", L"doc", L"nosuchtype");
                        },
                        L"", L"<absent>", false}),
    [](const ::testing::TestParamInfo<AlternativeCase>& info) { return std::string(info.param.name); });

TEST(RepairTest, BrokenOpenWithEntriesAreDeletedAndNothingElse) {
    EngineWorld w;
    w.SoundProgId(L"goodfile");
    w.BrokenProgId(L"badfile");
    w.ClassesDefault(L".o", L"goodfile");
    w.ClassesOpenWith(L".o", L"badfile");
    w.ClassesOpenWith(L".o", L"goodfile");
    w.UserOpenWith(L".o", L"gonefile");
    w.UserOpenWith(L".o", L"goodfile");
    RepairRun run(w.Env());
    run.Go();
    CFileExtension* record = Result(run.scanner, L".o");
    ASSERT_EQ(record->GetProblems(),
              static_cast<UINT>(EXT_PROBLEM_CLASSES_OPENWITH | EXT_PROBLEM_USER_OPENWITH));
    EXPECT_TRUE(record->IsFixed());
    win::RegKey classesList, userList;
    ASSERT_EQ(classesList.Open(w.Classes(), L".o\\OpenWithProgIDs", KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(classesList.ValueNames(), std::vector<std::wstring>{L"goodfile"});
    ASSERT_EQ(userList.Open(w.User(), FileExt(L".o") + L"\\OpenWithProgIDs", KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(userList.ValueNames(), std::vector<std::wstring>{L"goodfile"});
    EXPECT_EQ(RegistrySandbox::GetString(w.Classes(), L".o", L""), L"goodfile");
    EXPECT_EQ(w.History().size(), 1u);
}

TEST(RepairTest, NoApplicationOnlyIsListedButNeverFixedOrWritten) {
    EngineWorld w;
    w.DatabaseExtension(L"needed", L"audio", L"", true);
    RepairRun run(w.Env());
    run.Go();
    ASSERT_EQ(run.scanner.m_pRepairList->size(), 1u);
    EXPECT_EQ((*run.scanner.m_pRepairList)[0]->GetName(), L".needed");
    EXPECT_FALSE((*run.scanner.m_pRepairList)[0]->IsFixed());
    EXPECT_FALSE(RegistrySandbox::KeyExists(w.Classes(), L".needed"));
    EXPECT_TRUE(w.History().empty());
    EXPECT_TRUE(w.BackupFiles().empty());
}

TEST(RepairTest, SearchedRecordIsRepairedButNeverMarkedFixedOrLogged) {
    EngineWorld w;
    w.SoundProgId(L"goodfile");
    w.BrokenProgId(L"badfile");
    w.ClassesDefault(L".s", L"badfile");
    w.ClassesOpenWith(L".s", L"goodfile");
    RepairRun run(w.Env());
    run.Go(L".S");
    ASSERT_EQ(run.scanner.m_pRepairList->size(), 1u);
    EXPECT_EQ(RegistrySandbox::GetString(w.Classes(), L".s", L""), L"goodfile");
    EXPECT_FALSE(Result(run.scanner, L".s")->IsFixed());
    EXPECT_TRUE(w.History().empty());
}

TEST(RepairTest, ModernChoiceKeyIsRecreatedWithOnlyTheNewProgId) {
    EngineWorld w;
    w.SoundProgId(L"goodfile");
    w.BrokenProgId(L"badfile");
    w.UserChoice(L".m", L"badfile");
    RegistrySandbox::SetString(w.User(), FileExt(L".m") + L"\\UserChoice", L"Hash", L"abc=");
    w.ClassesDefault(L".m", L"goodfile");
    RepairRun run(w.Env());
    run.Go();
    EXPECT_EQ(w.UserChoiceValue(L".m"), L"goodfile");
    EXPECT_EQ(RegistrySandbox::GetString(w.User(), FileExt(L".m") + L"\\UserChoice", L"Hash"), L"<absent>");
}

TEST(RepairTest, LegacyShellWritesApplicationForExecutablesAndProgIdOtherwise) {
    EngineWorld w;
    w.Env().m_platform.bLegacyShell = 1;
    w.BrokenProgId(L"badfile");
    w.SoundProgId(L"goodfile");
    RegistrySandbox::SetString(w.Classes(), L"Applications\\viewer.exe\\shell\\open\\command", L"", w.SoundCommand());
    // .app: the only sound alternative is an application type.
    RegistrySandbox::SetString(w.User(), FileExt(L".app"), L"ProgId", L"badfile");
    RegistrySandbox::SetRaw(w.User(), FileExt(L".app") + L"\\OpenWithProgIDs", L"Applications\\viewer.exe", REG_NONE,
                            nullptr, 0);
    // .doc2: an ordinary ProgID.
    RegistrySandbox::SetString(w.User(), FileExt(L".doc2"), L"ProgId", L"badfile");
    w.ClassesDefault(L".doc2", L"goodfile");
    RepairRun run(w.Env());
    run.Go();

    EXPECT_EQ(RegistrySandbox::GetString(w.User(), FileExt(L".app"), L"ProgId"), L"<absent>");
    EXPECT_EQ(RegistrySandbox::GetString(w.User(), FileExt(L".app"), L"Application"), L"viewer.exe");
    EXPECT_TRUE(Result(run.scanner, L".app")->IsFixed());
    EXPECT_EQ(RegistrySandbox::GetString(w.User(), FileExt(L".doc2"), L"ProgId"), L"goodfile");
    EXPECT_FALSE(RegistrySandbox::KeyExists(w.User(), FileExt(L".doc2") + L"\\UserChoice"));

    // The written choice reads back as sound.
    CExtScanner again(w.Env());
    ASSERT_TRUE(ScanAndWait(again, L"", nullptr));
    EXPECT_EQ(Result(again, L".app")->GetProblems(), 0u);
    EXPECT_EQ(Result(again, L".doc2")->GetProblems(), 0u);
}

TEST(RepairTest, CancelRequestedBeforeTheStartRepairsNothingAndReportsIncomplete) {
    EngineWorld w;
    w.SoundProgId(L"goodfile");
    w.BrokenProgId(L"badfile");
    w.ClassesDefault(L".c", L"badfile");
    w.ClassesOpenWith(L".c", L"goodfile");
    CExtScanner scanner(w.Env());
    ASSERT_TRUE(ScanAndWait(scanner, L"", nullptr));
    EventRecorder events;
    scanner.m_bRepairCancel = 1;
    ASSERT_TRUE(RepairAndWait(scanner, &events));
    EXPECT_EQ(events.FixCompletions(), 1);
    EXPECT_EQ(events.LastFixCompleted(), 0);
    EXPECT_TRUE(scanner.m_pRepairList->empty());
    EXPECT_EQ(RegistrySandbox::GetString(w.Classes(), L".c", L""), L"badfile");
    EXPECT_EQ(scanner.m_bRepairCancel, 0);
}

TEST(RepairTest, RepairWithoutScanIsRefused) {
    EngineWorld w;
    CExtScanner scanner(w.Env());
    EventRecorder events;
    EXPECT_FALSE(scanner.StartRepairThread(&events));
    EXPECT_EQ(scanner.m_bRepairRunning, 0);
}

TEST(RepairTest, UnwritableBackupStopsTheRepairBeforeAnyWrite) {
    EngineWorld w;
    w.SoundProgId(L"goodfile");
    w.BrokenProgId(L"badfile");
    w.ClassesDefault(L".b", L"badfile");
    w.ClassesOpenWith(L".b", L"goodfile");
    w.ClassesOpenWith(L".b", L"badfile");
    // A file where the undo folder should be.
    WriteFileAt(w.Env().BackupFolder(), "in the way");
    RepairRun run(w.Env());
    run.Go();
    EXPECT_EQ(run.events.LastFixCompleted(), 0);
    EXPECT_EQ(run.scanner.m_bRepairBackupFailed, 1);
    EXPECT_TRUE(run.scanner.m_strRepairBackup.empty());
    EXPECT_EQ(RegistrySandbox::GetString(w.Classes(), L".b", L""), L"badfile");
    win::RegKey list;
    ASSERT_EQ(list.Open(w.Classes(), L".b\\OpenWithProgIDs", KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(list.ValueNames().size(), 2u);
    EXPECT_FALSE(Result(run.scanner, L".b")->IsFixed());
    EXPECT_TRUE(w.History().empty());
}

}  // namespace
}  // namespace kvtest
