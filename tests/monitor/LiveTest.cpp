// The monitor against real registry notifications on a sandbox, with its hidden window and the
// test thread pumping messages as the user-interface thread does.
#include <gtest/gtest.h>

#include <memory>

#include "tests/monitor/LiveMonitorTest.h"
#include "tests/monitor/MonitorHarness.h"

using kvtest::PumpFor;
using kvtest::PumpUntil;

namespace {

using Ids = std::vector<std::wstring>;

class MonitorLive : public kvtest::CLiveMonitorTest {
protected:
    explicit MonitorLive(BOOL legacyShell = 0) : CLiveMonitorTest(legacyShell) {}
};

TEST_F(MonitorLive, OutsideChangeOfClassesDefaultIsRecordedAndNotified) {
    m_box.SetClassesDefault(L".txt", L"txtfile");
    StartMonitor();

    m_box.SetClassesDefault(L".txt", L"otherfile");
    AwaitComparison();
    ASSERT_EQ(m_callbacks.m_calls.size(), 1u);
    EXPECT_EQ(m_callbacks.m_calls[0].changes, m_monitor->GetChanges());
    EXPECT_EQ(m_callbacks.m_calls[0].newChangeRecorded, 1);
    EXPECT_EQ(Changes(L".txt"), (Ids{L"txtfile", L"otherfile"}));

    m_box.SetClassesDefault(L".txt", L"thirdfile");
    AwaitComparison();
    ASSERT_EQ(m_callbacks.m_calls.size(), 2u);
    EXPECT_EQ(m_callbacks.m_calls[1].newChangeRecorded, 1);
    EXPECT_EQ(Changes(L".txt"), (Ids{L"txtfile", L"otherfile", L"thirdfile"}));
}

TEST_F(MonitorLive, ClassesChangeUnderUserChoiceOnlyUpdatesTheSnapshot) {
    m_box.SetClassesDefault(L".txt", L"txtfile");
    m_box.SetUserChoice(L".txt", L"userfile");
    StartMonitor();

    m_box.SetClassesDefault(L".txt", L"otherfile");
    AwaitComparison();
    EXPECT_TRUE(m_callbacks.m_calls.empty());
    EXPECT_TRUE(m_monitor->GetChanges()->empty());
    EXPECT_EQ(m_monitor->GetClassesSnapshot().at(L".txt"), L"otherfile");
}

TEST_F(MonitorLive, RemovedUserChoiceThatEqualsTheClassesValueIsNoDifference) {
    m_box.SetClassesDefault(L".mp3", L"mp3file");
    m_box.SetUserChoice(L".mp3", L"MP3File");
    StartMonitor();

    m_box.RemoveUserChoice(L".mp3");
    AwaitComparison();
    EXPECT_TRUE(m_callbacks.m_calls.empty());
    EXPECT_TRUE(m_monitor->GetChanges()->empty());
    EXPECT_EQ(m_monitor->GetUserChoiceSnapshot().count(L".mp3"), 0u);
}

TEST_F(MonitorLive, ExpectedUserChoiceChangeIsAbsorbedExactlyOnce) {
    m_box.SetClassesDefault(L".pdf", L"acrofile");
    StartMonitor();

    m_monitor->ExpectUserChoiceChange(L".pdf");
    m_box.SetUserChoice(L".pdf", L"kavendor.pdf.filetype");
    AwaitComparison();
    ASSERT_EQ(m_callbacks.m_calls.size(), 1u);
    EXPECT_EQ(m_callbacks.m_calls[0].newChangeRecorded, 0);
    EXPECT_TRUE(m_monitor->GetChanges()->empty());

    m_box.SetUserChoice(L".pdf", L"otherfile");
    AwaitComparison();
    ASSERT_EQ(m_callbacks.m_calls.size(), 2u);
    EXPECT_EQ(m_callbacks.m_calls[1].newChangeRecorded, 1);
    EXPECT_EQ(Changes(L".pdf"), (Ids{L"kavendor.pdf.filetype", L"otherfile"}));
}

TEST_F(MonitorLive, WithRecordingOffOrSuspendedSnapshotsFollowAndTheCallbackStillComes) {
    struct SwitchCase {
        const char* label;
        int enabled;
        bool suspended;
    };
    for (const SwitchCase& c : {SwitchCase{"recording off", 0, false}, SwitchCase{"suspended", 1, true}}) {
        SCOPED_TRACE(c.label);
        m_callbacks.m_calls.clear();
        m_box.SetClassesDefault(L".txt", L"txtfile");
        StartMonitor(c.enabled);
        if (c.suspended) m_monitor->SuspendRecording();

        m_box.SetClassesDefault(L".txt", L"otherfile");
        AwaitComparison();
        ASSERT_EQ(m_callbacks.m_calls.size(), 1u);
        EXPECT_EQ(m_callbacks.m_calls[0].newChangeRecorded, 0);
        EXPECT_TRUE(m_monitor->GetChanges()->empty());
        EXPECT_EQ(m_monitor->GetClassesSnapshot().at(L".txt"), L"otherfile");
        m_monitor.reset();
    }
}

TEST_F(MonitorLive, NewExtensionKeyEntersTheSnapshotSilently) {
    m_box.SetClassesDefault(L".txt", L"txtfile");
    StartMonitor();

    m_box.SetClassesDefault(L".BrandNew", L"newfile");
    AwaitComparison();
    EXPECT_TRUE(m_callbacks.m_calls.empty());
    EXPECT_EQ(m_monitor->GetClassesSnapshot().at(L".brandnew"), L"newfile");
}

TEST_F(MonitorLive, BurstOfWritesLeadsToOneComparison) {
    m_box.SetClassesDefault(L".txt", L"txtfile");
    StartMonitor();
    const unsigned long before = m_monitor->GetComparisonCount();

    for (int i = 0; i < 10; ++i) m_box.SetClassesDefault(L".txt", L"burstfile" + std::to_wstring(i));
    // Let the watchers see every write before the test thread pumps again.
    ::Sleep(200);
    ASSERT_TRUE(PumpUntil([&] { return m_monitor->GetComparisonCount() > before; }));
    PumpFor(300);
    EXPECT_EQ(m_monitor->GetComparisonCount(), before + 1);
    ASSERT_EQ(m_callbacks.m_calls.size(), 1u);
    EXPECT_EQ(Changes(L".txt"), (Ids{L"txtfile", L"burstfile9"}));
}

TEST_F(MonitorLive, OwnWritesOfASuspendedPeriodAreNotRecordedAfterResume) {
    m_box.SetClassesDefault(L".txt", L"txtfile");
    m_box.SetClassesDefault(L".doc", L"docfile");
    StartMonitor();

    // The program's own write, on this thread: no timer comparison can run before the resume.
    m_monitor->SuspendRecording();
    m_box.SetClassesDefault(L".txt", L"ownfile");
    const unsigned long before = m_monitor->GetComparisonCount();
    m_monitor->ResumeRecording();
    // The step back to 0 compared at once, while the write still counted as the program's own.
    EXPECT_EQ(m_monitor->GetComparisonCount(), before + 1);
    EXPECT_EQ(m_monitor->GetSuspendCount(), 0u);
    EXPECT_EQ(m_monitor->GetClassesSnapshot().at(L".txt"), L"ownfile");
    // Its notification arrives late and finds nothing.
    AwaitComparison();
    EXPECT_TRUE(m_monitor->GetChanges()->empty());
    for (const auto& call : m_callbacks.m_calls) EXPECT_EQ(call.newChangeRecorded, 0);

    // An outside change right after it is recorded.
    m_box.SetClassesDefault(L".doc", L"outsidefile");
    ASSERT_TRUE(PumpUntil([&] { return !Changes(L".doc").empty(); }));
    EXPECT_EQ(Changes(L".doc"), (Ids{L"docfile", L"outsidefile"}));
    EXPECT_TRUE(Changes(L".txt").empty());
}

TEST_F(MonitorLive, AppliedChangeIsWrittenForgottenAndNotReportedAgain) {
    m_box.SetClassesDefault(L".txt", L"txtfile");
    StartMonitor();
    m_box.SetClassesDefault(L".txt", L"otherfile");
    AwaitComparison();
    ASSERT_EQ(Changes(L".txt"), (Ids{L"txtfile", L"otherfile"}));

    // Put the old program back, passing the list's own key and element as the monitor page does.
    auto entry = m_monitor->GetChanges()->find(L".txt");
    const auto* previous = dynamic_cast<const CFileTypeInfo*>(entry->second.front());
    ASSERT_NE(previous, nullptr);
    EXPECT_EQ(m_monitor->ApplyAssociation(entry->first, *previous), 1);
    EXPECT_TRUE(m_monitor->GetChanges()->empty());
    EXPECT_EQ(kvtest::RegistrySandbox::GetString(m_box.Sandbox().User(), m_box.UserChoiceKey(L".txt"), L"ProgId"),
              L"txtfile");
    EXPECT_EQ(m_monitor->GetUserChoiceSnapshot().at(L".txt"), L"txtfile");

    const size_t calls = m_callbacks.m_calls.size();
    AwaitComparison();
    EXPECT_EQ(m_callbacks.m_calls.size(), calls);
    EXPECT_TRUE(m_monitor->GetChanges()->empty());
}

TEST_F(MonitorLive, StopEndsTheWatchersAndAStoppedMonitorCanStartAgain) {
    m_box.SetClassesDefault(L".txt", L"txtfile");
    StartMonitor();
    EXPECT_EQ(m_monitor->IsRunning(), 1);
    EXPECT_EQ(m_monitor->Start(&m_callbacks), 0);  // already running

    m_monitor->Stop();
    EXPECT_EQ(m_monitor->IsRunning(), 0);
    const unsigned long before = m_monitor->GetComparisonCount();
    m_box.SetClassesDefault(L".txt", L"whilestopped");
    PumpFor(300);
    EXPECT_EQ(m_monitor->GetComparisonCount(), before);
    EXPECT_TRUE(m_callbacks.m_calls.empty());

    // A fresh start takes a fresh snapshot.
    ASSERT_EQ(m_monitor->Start(&m_callbacks), 1);
    EXPECT_EQ(m_monitor->GetClassesSnapshot().at(L".txt"), L"whilestopped");
    m_box.SetClassesDefault(L".txt", L"afterrestart");
    ASSERT_TRUE(PumpUntil([&] { return !Changes(L".txt").empty(); }));
    EXPECT_EQ(Changes(L".txt"), (Ids{L"whilestopped", L"afterrestart"}));
}

TEST_F(MonitorLive, StartRefusesWithoutCallbacks) {
    CExtensionMonitor monitor(m_box.Roots(), m_box.Platform());
    EXPECT_EQ(monitor.Start(nullptr), 0);
    EXPECT_EQ(monitor.IsRunning(), 0);
}

TEST_F(MonitorLive, MissingFileExtsKeyIsCreatedAndWatched) {
    ASSERT_FALSE(kvtest::RegistrySandbox::KeyExists(m_box.Sandbox().User(), kvtest::kFileExts));
    m_box.SetClassesDefault(L".txt", L"txtfile");
    StartMonitor();
    EXPECT_TRUE(kvtest::RegistrySandbox::KeyExists(m_box.Sandbox().User(), kvtest::kFileExts));

    m_box.SetUserChoice(L".txt", L"userfile");
    ASSERT_TRUE(PumpUntil([&] { return !Changes(L".txt").empty(); }));
    EXPECT_EQ(Changes(L".txt"), (Ids{L"txtfile", L"userfile"}));
}

class MonitorLiveLegacy : public MonitorLive {
protected:
    MonitorLiveLegacy() : MonitorLive(1) {}
};

TEST_F(MonitorLiveLegacy, UserChoiceInTheFileExtsKeyItselfIsWatched) {
    m_box.SetClassesDefault(L".txt", L"txtfile");
    StartMonitor();

    m_box.SetUserApplication(L".txt", L"editor.exe");
    ASSERT_TRUE(PumpUntil([&] { return !Changes(L".txt").empty(); }));
    EXPECT_EQ(Changes(L".txt"), (Ids{L"txtfile", L"Applications\\editor.exe"}));
}

}  // namespace
