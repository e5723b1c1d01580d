// The scan thread: collection, examination, the must-scan and single-extension rules, cancel,
// the dumps and the busy rules, on sandboxed registries with real threads and callbacks.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/ExtScanner.h"
#include "engine/ScanEngine.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/engine/GoodAndBadWorld.h"
#include "tests/support/TempFolder.h"
#include "win/Paths.h"
#include "win/Strings.h"
#include "win/UniqueHandle.h"

namespace kvtest {
namespace {

class ScannerTest : public ::testing::Test {
protected:
    void SetUp() override {
        PlantGoodAndBad(w);
        w.ClassesDefault(L".mixed", L"goodfile");
        w.ClassesOpenWith(L".mixed", L"badfile");
        w.ClassesOpenWith(L".mixed", L"goodfile");
        w.UserChoice(L".userbad", L"badfile");
        w.ClassesDefault(L".userbad", L"goodfile");
    }
    EngineWorld w;
};

TEST_F(ScannerTest, FullScanFindsPlantedProblemsAndNotHealthyOnes) {
    CExtScanner scanner(w.Env());
    EventRecorder events;
    ASSERT_TRUE(ScanAndWait(scanner, L"", &events));

    EXPECT_EQ(events.ScanCompletions(), 1);
    EXPECT_EQ(events.LastScanCompleted(), 1);
    EXPECT_EQ(NamesOf(*scanner.m_pResultList),
              (std::vector<std::wstring>{L".bad", L".good", L".mixed", L".userbad"}));
    EXPECT_EQ(events.Progress(), NamesOf(*scanner.m_pResultList));
    struct Case {
        const wchar_t* name;
        UINT problems;
    } cases[] = {{L".good", 0},
                 {L".bad", EXT_PROBLEM_CLASSES_DEFAULT},
                 {L".mixed", EXT_PROBLEM_CLASSES_OPENWITH},
                 {L".userbad", EXT_PROBLEM_USER_CHOICE}};
    for (const auto& c : cases) {
        CFileExtension* record = Result(scanner, c.name);
        ASSERT_NE(record, nullptr) << c.name;
        EXPECT_EQ(record->GetProblems(), c.problems) << c.name;
    }
    EXPECT_EQ(scanner.m_bScanRunning, 0);
}

TEST_F(ScannerTest, ExtensionInBothRootsIsExaminedOnce) {
    w.UserChoice(L".good", L"goodfile");
    RegistrySandbox::SetString(w.User(), std::wstring(kFileExts) + L"\\.ONLYUSER\\UserChoice", L"ProgId", L"goodfile");
    CExtScanner scanner(w.Env());
    EventRecorder events;
    ASSERT_TRUE(ScanAndWait(scanner, L"", &events));
    auto progress = events.Progress();
    EXPECT_EQ(std::count(progress.begin(), progress.end(), L".good"), 1);
    EXPECT_EQ(std::count(progress.begin(), progress.end(), L".onlyuser"), 1);
    EXPECT_EQ(scanner.m_pResults->size(), scanner.m_pResultList->size());
}

TEST_F(ScannerTest, IgnoredExtensionIsSkippedByFullScanButNotBySingleScan) {
    w.Ignore(L".bad");
    w.DatabaseExtension(L"bad", L"document", L"", true);
    CExtScanner scanner(w.Env());
    EventRecorder events;
    ASSERT_TRUE(ScanAndWait(scanner, L"", &events));
    EXPECT_EQ(Result(scanner, L".bad"), nullptr);
    auto names = NamesOf(*scanner.m_pResultList);
    EXPECT_EQ(std::find(names.begin(), names.end(), L".bad"), names.end());

    ASSERT_TRUE(ScanAndWait(scanner, L".bad", &events));
    ASSERT_EQ(scanner.m_pResultList->size(), 1u);
    EXPECT_EQ((*scanner.m_pResultList)[0]->GetName(), L".bad");
    EXPECT_EQ((*scanner.m_pResultList)[0]->GetProblems(), static_cast<UINT>(EXT_PROBLEM_CLASSES_DEFAULT));
    EXPECT_TRUE((*scanner.m_pResultList)[0]->IsSearched());
}

TEST_F(ScannerTest, MustScanRuleAddsMissingExtensionsWithCategoryAndKeepsWorkingOnes) {
    w.DatabaseExtension(L"absent", L"audio file type", L"", true);
    w.DatabaseExtension(L"good", L"picture", L"", true);
    w.DatabaseExtension(L"bad", L"document", L"", false);
    // Known to the registry but naming no type.
    RegistrySandbox::SetString(w.Classes(), L".notype\\ShellNew", L"NullFile", L"");
    w.DatabaseExtension(L"notype", L"text", L"", true);
    CExtScanner scanner(w.Env());
    EventRecorder events;
    ASSERT_TRUE(ScanAndWait(scanner, L"", &events));

    CFileExtension* absent = Result(scanner, L".absent");
    ASSERT_NE(absent, nullptr);
    EXPECT_EQ(absent->GetProblems(), static_cast<UINT>(EXT_PROBLEM_NO_APPLICATION));
    EXPECT_EQ(absent->GetDescription(), L"audio file type");
    auto progress = events.Progress();
    EXPECT_EQ(std::find(progress.begin(), progress.end(), L".absent"), progress.end());
    EXPECT_EQ(scanner.m_pResultList->back()->GetName(), L".absent");

    EXPECT_EQ(Result(scanner, L".good")->GetProblems(), 0u);
    EXPECT_EQ(Result(scanner, L".good")->GetDescription(), L"picture");
    EXPECT_EQ(Result(scanner, L".bad")->GetDescription(), L"document");
    EXPECT_EQ(Result(scanner, L".notype")->GetProblems(), static_cast<UINT>(EXT_PROBLEM_NO_APPLICATION));
    EXPECT_EQ(Result(scanner, L".mixed")->GetDescription(), L"Unknown");
}

TEST_F(ScannerTest, IgnoredMustScanExtensionIsNeverAdded) {
    w.DatabaseExtension(L"absent", L"audio file type", L"", true);
    w.Ignore(L".absent");
    CExtScanner scanner(w.Env());
    ASSERT_TRUE(ScanAndWait(scanner, L"", nullptr));
    EXPECT_EQ(Result(scanner, L".absent"), nullptr);
}

TEST_F(ScannerTest, SingleScanLowerCasesTheFilterAndGivesOnlyProblem16WithoutAnyType) {
    w.ClassesOpenWith(L".lonely", L"badfile");
    CExtScanner scanner(w.Env());
    EventRecorder events;
    ASSERT_TRUE(ScanAndWait(scanner, L".LONELY", &events));
    ASSERT_EQ(NamesOf(*scanner.m_pResultList), std::vector<std::wstring>{L".lonely"});
    EXPECT_EQ(Result(scanner, L".lonely")->GetProblems(), static_cast<UINT>(EXT_PROBLEM_NO_APPLICATION));
    EXPECT_EQ(events.LastScanCompleted(), 1);
}

TEST_F(ScannerTest, UnusableFiltersAreRefused) {
    CExtScanner scanner(w.Env());
    for (const wchar_t* filter : {L"txtfile", L".", L".a\\shell", L".a\nb"})
        EXPECT_FALSE(scanner.StartScanThread(filter, nullptr)) << filter;
    EXPECT_EQ(scanner.m_bScanRunning, 0);
}

TEST_F(ScannerTest, CancelDuringExaminationReportsIncompleteAndDumpsWhatWasFound) {
    w.ClassesDefault(L".zbad", L"badfile");
    CExtScanner scanner(w.Env());
    EventRecorder events;
    // .bad, .good, .mixed, .userbad, .zbad: cancel once .good has been reported; .mixed is then
    // read but neither reported nor listed.
    events.m_onProgress = [&](size_t count) {
        if (count == 2) scanner.m_bScanCancel = 1;
    };
    ASSERT_TRUE(ScanAndWait(scanner, L"", &events));
    EXPECT_EQ(events.LastScanCompleted(), 0);
    EXPECT_EQ(events.ScanCompletions(), 1);
    EXPECT_EQ(NamesOf(*scanner.m_pResultList), (std::vector<std::wstring>{L".bad", L".good"}));
    EXPECT_EQ(scanner.m_bScanCancel, 0);

    std::string errors = ReadFileBytes(win::JoinPath(w.Folder(), L"ErrorDump.txt"));
    EXPECT_NE(errors.find(" .bad "), std::string::npos);
    EXPECT_EQ(errors.find(" .zbad "), std::string::npos);
    std::string collected = ReadFileBytes(win::JoinPath(w.Folder(), L"ExtensionDump.txt"));
    EXPECT_EQ(collected, "bad\r\ngood\r\nmixed\r\nuserbad\r\nzbad\r\n");
}

TEST_F(ScannerTest, DumpsListCollectedNamesAndEveryProblemRecord) {
    CExtScanner scanner(w.Env());
    ASSERT_TRUE(ScanAndWait(scanner, L"", nullptr));
    EXPECT_EQ(ReadFileBytes(win::JoinPath(w.Folder(), L"ExtensionDump.txt")), "bad\r\ngood\r\nmixed\r\nuserbad\r\n");
    std::string errors = ReadFileBytes(win::JoinPath(w.Folder(), L"ErrorDump.txt"));
    std::string expected;
    for (const wchar_t* name : {L".bad", L".mixed", L".userbad"})
        expected += win::WideToCodePage(DumpExtension(*Result(scanner, name)) + L"\r\n\r\n\r\n", CP_THREAD_ACP);
    EXPECT_EQ(errors, expected);
}

TEST_F(ScannerTest, RecordsStayValidUntilTheNextScanAndRemoveExtensionDropsOne) {
    CExtScanner scanner(w.Env());
    ASSERT_TRUE(ScanAndWait(scanner, L"", nullptr));
    IFileExtension* bad = Result(scanner, L".bad");
    ASSERT_NE(bad, nullptr);
    ASSERT_TRUE(RepairAndWait(scanner, nullptr));
    EXPECT_EQ(bad->GetName(), L".bad");  // still the same live record after the repair

    EXPECT_TRUE(scanner.RemoveExtension(bad));
    EXPECT_EQ(Result(scanner, L".bad"), nullptr);
    for (ExtensionList* list : {scanner.m_pResultList.get(), scanner.m_pRepairList.get()}) {
        auto names = NamesOf(*list);
        EXPECT_EQ(std::find(names.begin(), names.end(), L".bad"), names.end());
    }
    CFileExtension lookalike(L".bad");
    EXPECT_FALSE(scanner.RemoveExtension(&lookalike));
}

TEST_F(ScannerTest, ScannerRefusesNewWorkWhileItsScanRuns) {
    CExtScanner scanner(w.Env());
    EventRecorder events;
    win::UniqueKernelHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(release);
    events.m_onProgress = [&](size_t count) {
        if (count == 1) ::WaitForSingleObject(release.get(), 30000);
    };
    ASSERT_TRUE(scanner.StartScanThread(L"", &events));
    ExtensionMap* running = scanner.m_pResults.get();
    EXPECT_FALSE(scanner.StartScanThread(L"", nullptr));
    EXPECT_FALSE(scanner.StartRepairThread(nullptr));
    EXPECT_EQ(scanner.m_pResults.get(), running);
    ::SetEvent(release.get());
    scanner.WaitForScan();
    EXPECT_EQ(events.LastScanCompleted(), 1);
    EXPECT_EQ(scanner.m_pResultList->size(), 4u);
}

class EngineBusyTest : public ScannerTest {};

TEST_F(EngineBusyTest, ScanIsRefusedWhileARepairRunsAndResultsStayIntact) {
    EventRecorder events;
    CKVScanEngine engine(&events, w.Env());
    ASSERT_TRUE(engine.StartScan(L""));
    engine.m_scanner.WaitForScan();
    const ExtensionList before = *engine.m_scanner.m_pResultList;

    win::UniqueKernelHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(release);
    events.m_onFix = [&] { ::WaitForSingleObject(release.get(), 30000); };
    ASSERT_TRUE(engine.StartFix());
    EXPECT_FALSE(engine.StartScan(L""));
    EXPECT_FALSE(engine.StartScan(L".good"));
    EXPECT_FALSE(engine.StartFix());
    EXPECT_EQ(*engine.m_scanner.m_pResultList, before);
    ::SetEvent(release.get());
    engine.m_scanner.WaitForRepair();
    EXPECT_EQ(events.FixCompletions(), 1);
    EXPECT_EQ(events.AssociationsChanged(), 1);
    EXPECT_TRUE(engine.StartScan(L""));
    engine.m_scanner.WaitForScan();
}

TEST_F(EngineBusyTest, CancelledScanStillCompletesThroughTheEngine) {
    EventRecorder events;
    CKVScanEngine engine(&events, w.Env());
    events.m_onProgress = [&](size_t) { engine.CancelScan(); };
    ASSERT_TRUE(engine.StartScan(L""));
    engine.m_scanner.WaitForScan();
    EXPECT_EQ(events.ScanCompletions(), 1);
    EXPECT_EQ(events.LastScanCompleted(), 0);
}

TEST_F(EngineBusyTest, IgnoreExtensionListsItAndRemovesTheRecord) {
    EventRecorder events;
    CKVScanEngine engine(&events, w.Env());
    ASSERT_TRUE(engine.StartScan(L""));
    engine.m_scanner.WaitForScan();
    IFileExtension* bad = engine.m_scanner.m_pResults->at(L".bad").get();
    EXPECT_TRUE(engine.IgnoreExtension(bad));
    EXPECT_EQ(engine.m_scanner.m_pResults->count(L".bad"), 0u);
    EXPECT_EQ(engine.m_db.IsIgnored(L".bad"), 1);
    ASSERT_TRUE(engine.StartScan(L""));
    engine.m_scanner.WaitForScan();
    EXPECT_EQ(engine.m_scanner.m_pResults->count(L".bad"), 0u);
}

}  // namespace
}  // namespace kvtest
