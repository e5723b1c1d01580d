// The comparison rules, one registry state and one new value per case, without notifications:
// the snapshots are taken from the sandbox and the comparison is called directly.
#include <gtest/gtest.h>

#include "tests/monitor/MonitorHarness.h"
#include "win/Strings.h"

using kvtest::ChangeListProgIds;
using kvtest::CMonitorSandbox;

namespace {

struct CompareCase {
    const char* label;
    std::wstring classes;  // classes-root default of .txt before; empty: none
    std::wstring user;     // per-user choice of .txt before; empty: none
    bool compareUser;      // which comparison sees the new value
    std::wstring value;    // the value read now
    int difference;
    std::vector<std::wstring> recorded;  // the change list of .txt afterwards
    std::wstring classesAfter;           // snapshots afterwards; empty: no entry
    std::wstring userAfter;
};

std::wstring Snapshot(const ExtensionTextMap& map, const std::wstring& extension) {
    auto found = map.find(extension);
    return found == map.end() ? std::wstring() : found->second;
}

TEST(MonitorCompare, FollowsTheRulesOfEachCase) {
    const std::vector<CompareCase> cases = {
        {"classes: same value in other case", L"txtfile", L"", false, L"TXTFILE", 0, {}, L"txtfile", L""},
        {"classes: changed", L"txtfile", L"", false, L"otherfile", 1, {L"txtfile", L"otherfile"}, L"otherfile", L""},
        {"classes: cleared", L"txtfile", L"", false, L"", 1, {}, L"", L""},
        {"classes: new extension", L"", L"", false, L"newfile", 0, {}, L"newfile", L""},
        {"classes: under a user choice", L"txtfile", L"userfile", false, L"otherfile", 0, {}, L"otherfile",
         L"userfile"},
        {"classes: cleared under a user choice", L"txtfile", L"userfile", false, L"", 0, {}, L"", L"userfile"},
        {"user: still none", L"txtfile", L"", true, L"", 0, {}, L"txtfile", L""},
        {"user: first choice", L"txtfile", L"", true, L"userfile", 1, {L"txtfile", L"userfile"}, L"txtfile",
         L"userfile"},
        {"user: first choice equals classes", L"txtfile", L"", true, L"TxtFile", 0, {}, L"txtfile", L"TxtFile"},
        {"user: first choice without classes", L"", L"", true, L"userfile", 0, {}, L"", L"userfile"},
        {"user: same in other case", L"txtfile", L"userfile", true, L"USERFILE", 0, {}, L"txtfile", L"userfile"},
        {"user: changed", L"txtfile", L"userfile", true, L"otherfile", 1, {L"userfile", L"otherfile"}, L"txtfile",
         L"otherfile"},
        {"user: removed, classes decides", L"txtfile", L"userfile", true, L"", 1, {L"userfile", L"txtfile"},
         L"txtfile", L""},
        {"user: removed, classes was the same", L"TXTFILE", L"txtfile", true, L"", 0, {}, L"TXTFILE", L""},
        {"user: removed, no classes", L"", L"userfile", true, L"", 0, {}, L"", L""},
    };
    for (const CompareCase& c : cases) {
        SCOPED_TRACE(c.label);
        CMonitorSandbox box;
        if (!c.classes.empty()) box.SetClassesDefault(L".txt", c.classes);
        if (!c.user.empty()) box.SetUserChoice(L".txt", c.user);
        CExtensionMonitor monitor(box.Roots(), box.Platform());
        monitor.SetEnabled(1);
        monitor.ScanAssociations(0);

        int recorded = 0;
        const int difference = c.compareUser ? monitor.CompareUserChoice(L".txt", c.value, &recorded)
                                             : monitor.CompareClasses(L".txt", c.value, &recorded);
        EXPECT_EQ(difference, c.difference);
        EXPECT_EQ(recorded, c.recorded.empty() ? 0 : 1);
        EXPECT_EQ(ChangeListProgIds(monitor, L".txt"), c.recorded);
        EXPECT_EQ(Snapshot(monitor.GetClassesSnapshot(), L".txt"), c.classesAfter);
        EXPECT_EQ(Snapshot(monitor.GetUserChoiceSnapshot(), L".txt"), c.userAfter);
    }
}

TEST(MonitorCompare, ExpectedUserChoiceChangeIsAbsorbedOnce) {
    CMonitorSandbox box;
    box.SetClassesDefault(L".pdf", L"acrofile");
    CExtensionMonitor monitor(box.Roots(), box.Platform());
    monitor.SetEnabled(1);
    monitor.ScanAssociations(0);
    monitor.ExpectUserChoiceChange(L".PDF");

    int recorded = 0;
    EXPECT_EQ(monitor.CompareUserChoice(L".pdf", L"kavendor.pdf.filetype", &recorded), 1);
    EXPECT_EQ(recorded, 0);
    EXPECT_TRUE(ChangeListProgIds(monitor, L".pdf").empty());

    EXPECT_EQ(monitor.CompareUserChoice(L".pdf", L"otherfile", &recorded), 1);
    EXPECT_EQ(recorded, 1);
    EXPECT_EQ(ChangeListProgIds(monitor, L".pdf"), (std::vector<std::wstring>{L"kavendor.pdf.filetype", L"otherfile"}));
}

TEST(MonitorCompare, ExpectationIsNotSpentOnTheClassesRoot) {
    CMonitorSandbox box;
    box.SetClassesDefault(L".pdf", L"acrofile");
    CExtensionMonitor monitor(box.Roots(), box.Platform());
    monitor.SetEnabled(1);
    monitor.ScanAssociations(0);
    monitor.ExpectUserChoiceChange(L".pdf");

    int recorded = 0;
    EXPECT_EQ(monitor.CompareClasses(L".pdf", L"otherfile", &recorded), 1);
    EXPECT_EQ(recorded, 1);
    // Still expected: the next user-choice change is absorbed.
    recorded = 0;
    EXPECT_EQ(monitor.CompareUserChoice(L".pdf", L"userfile", &recorded), 1);
    EXPECT_EQ(recorded, 0);
    EXPECT_EQ(ChangeListProgIds(monitor, L".pdf"), (std::vector<std::wstring>{L"acrofile", L"otherfile"}));
}

TEST(MonitorCompare, NothingIsRecordedWhileOffOrSuspended) {
    struct SwitchCase {
        const char* label;
        int enabled;
        int suspended;
    };
    for (const SwitchCase& c : {SwitchCase{"off", 0, 0}, SwitchCase{"suspended", 1, 1}}) {
        SCOPED_TRACE(c.label);
        CMonitorSandbox box;
        box.SetClassesDefault(L".txt", L"txtfile");
        CExtensionMonitor monitor(box.Roots(), box.Platform());
        monitor.SetEnabled(c.enabled);
        if (c.suspended) monitor.SuspendRecording();
        monitor.ScanAssociations(0);

        int recorded = 0;
        EXPECT_EQ(monitor.CompareClasses(L".txt", L"otherfile", &recorded), 1);
        EXPECT_EQ(recorded, 0);
        EXPECT_TRUE(monitor.GetChanges()->empty());
        EXPECT_EQ(monitor.GetClassesSnapshot().at(L".txt"), L"otherfile");
    }
}

TEST(MonitorCompare, SuspendCounterNeverGoesBelowZero) {
    CMonitorSandbox box;
    CExtensionMonitor monitor(box.Roots(), box.Platform());
    monitor.ResumeRecording();
    EXPECT_EQ(monitor.GetSuspendCount(), 0u);
    monitor.SuspendRecording();
    monitor.SuspendRecording();
    monitor.ResumeRecording();
    EXPECT_EQ(monitor.GetSuspendCount(), 1u);
    monitor.ResumeRecording();
    monitor.ResumeRecording();
    EXPECT_EQ(monitor.GetSuspendCount(), 0u);
}

TEST(MonitorCompare, ChangeListElementsAreReadByTheAssociationReader) {
    CMonitorSandbox box;
    box.SetClassesDefault(L".txt", L"txtfile");
    box.AddWorkingProgId(L"txtfile");
    CExtensionMonitor monitor(box.Roots(), box.Platform());
    monitor.SetEnabled(1);
    monitor.ScanAssociations(0);

    EXPECT_EQ(monitor.CompareClasses(L".txt", L"missingfile"), 1);
    const auto& list = monitor.GetChanges()->at(L".txt");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_FALSE(list.front()->IsBroken());
    EXPECT_EQ(win::ToLower(list.front()->GetProgramPath()), L"c:\\windows\\system32\\notepad.exe");
    EXPECT_TRUE(list.back()->IsBroken());
}

TEST(MonitorCompare, SnapshotReadsEveryShapeOfRegistryDataSafely) {
    CMonitorSandbox box;
    HKEY classes = box.Sandbox().Classes();
    const DWORD number = 7;
    const BYTE odd[] = {'a', 0, 'b'};
    kvtest::RegistrySandbox::SetRaw(classes, L".num", L"", REG_DWORD, &number, sizeof number);
    kvtest::RegistrySandbox::SetRaw(classes, L".odd", L"", REG_SZ, odd, sizeof odd);
    kvtest::RegistrySandbox::SetRaw(classes, L".none", L"", REG_SZ, nullptr, 0);
    const std::wstring longText(40000, L'x');
    box.SetClassesDefault(L".LONG", longText);
    box.SetUserApplication(L".Mp3", L"player.exe");
    kvtest::RegistrySandbox::SetString(classes, L"notanextension", L"", L"file");

    CExtensionMonitor monitor(box.Roots(), box.Platform());
    monitor.ScanAssociations(0);
    const ExtensionTextMap& snapshot = monitor.GetClassesSnapshot();
    EXPECT_EQ(snapshot.count(L".none"), 0u);
    EXPECT_EQ(snapshot.at(L".odd"), L"a");
    EXPECT_EQ(snapshot.at(L".long"), longText);
    EXPECT_EQ(snapshot.count(L"notanextension"), 0u);
    EXPECT_EQ(monitor.GetUserChoiceSnapshot().at(L".mp3"), L"Applications\\player.exe");
}

}  // namespace
