// The monitor on a system that protects the per-user choice: the monitor page's apply writes the
// per-user classes default instead of the choice, the per-user classes are watched and compared
// as part of the classes view, and the program's own writes there are absorbed.
#include <gtest/gtest.h>

#include <memory>

#include "monitor/UserChoiceWriter.h"
#include "tests/fixtures/DeniedKey.h"
#include "tests/monitor/LiveMonitorTest.h"
#include "tests/monitor/MonitorHarness.h"

using kvtest::ChangeListProgIds;
using kvtest::CMonitorSandbox;
using kvtest::RegistrySandbox;

namespace {

using Ids = std::vector<std::wstring>;
const std::wstring kAbsent = L"<absent>";

std::wstring Latest(const std::wstring& extension) {
    return kvtest::kFileExts + L"\\" + extension + L"\\UserChoiceLatest";
}
std::wstring UserClasses(const std::wstring& extension) { return L"Software\\Classes\\" + extension; }

TEST(ProtectedMonitorApply, WritesThePerUserClassesRemovesTheChoiceAndLeavesNothingToCompare) {
    CMonitorSandbox box(0, 1);
    const HKEY user = box.Sandbox().User();
    box.SetClassesDefault(L".txt", L"txtfile");
    box.SetUserChoice(L".txt", L"oldfile");
    RegistrySandbox::SetString(user, Latest(L".txt"), L"ProgId", L"oldfile");
    CExtensionMonitor monitor(box.Roots(), box.Platform());
    monitor.SetEnabled(1);
    monitor.ScanAssociations(0);
    ASSERT_EQ(monitor.GetUserChoiceSnapshot().at(L".txt"), L"oldfile");
    ASSERT_EQ(monitor.CompareUserChoice(L".txt", L"otherfile"), 1);
    ASSERT_EQ(ChangeListProgIds(monitor, L".txt"), (Ids{L"oldfile", L"otherfile"}));

    EXPECT_EQ(monitor.ApplyAssociation(L".txt", CFileTypeInfo(L"TxtFile")), 1);
    EXPECT_FALSE(RegistrySandbox::KeyExists(user, box.UserChoiceKey(L".txt")));
    EXPECT_FALSE(RegistrySandbox::KeyExists(user, Latest(L".txt")));
    EXPECT_EQ(RegistrySandbox::GetString(user, UserClasses(L".txt"), L""), L"txtfile");
    EXPECT_TRUE(ChangeListProgIds(monitor, L".txt").empty());
    EXPECT_EQ(monitor.GetUserChoiceSnapshot().count(L".txt"), 0u);
    EXPECT_EQ(monitor.GetClassesSnapshot().at(L".txt"), L"txtfile");
    int recorded = 0;
    EXPECT_EQ(monitor.ScanAssociations(1, &recorded), 0);
    EXPECT_EQ(recorded, 0);
}

TEST(ProtectedMonitorApply, DeniedRemovalIsReportedAndKeepsTheChange) {
    CMonitorSandbox box(0, 1);
    const HKEY user = box.Sandbox().User();
    box.SetClassesDefault(L".txt", L"txtfile");
    box.SetUserChoice(L".txt", L"oldfile");
    kvtest::CRemovalDeniedKey guard(user, box.UserChoiceKey(L".txt"));
    ASSERT_TRUE(guard.IsLocked());
    CExtensionMonitor monitor(box.Roots(), box.Platform());
    monitor.SetEnabled(1);
    monitor.ScanAssociations(0);
    ASSERT_EQ(monitor.CompareUserChoice(L".txt", L"otherfile"), 1);

    EXPECT_EQ(monitor.ApplyAssociation(L".txt", CFileTypeInfo(L"txtfile")), 0);
    EXPECT_EQ(ChangeListProgIds(monitor, L".txt"), (Ids{L"oldfile", L"otherfile"}));
    EXPECT_EQ(RegistrySandbox::GetString(user, box.UserChoiceKey(L".txt"), L"ProgId"), L"oldfile");
    EXPECT_FALSE(RegistrySandbox::KeyExists(user, L"Software\\Classes"));
}

TEST(ProtectedMonitorApply, OlderSystemsStillWriteTheChoice) {
    CMonitorSandbox box;
    box.SetUserChoice(L".txt", L"oldfile");
    CFileExtRegUtil util(box.Roots(), box.Platform());
    ASSERT_TRUE(WriteMonitoredUserChoice(util, L".txt", CFileTypeInfo(L"txtfile")));
    EXPECT_EQ(RegistrySandbox::GetString(box.Sandbox().User(), box.UserChoiceKey(L".txt"), L"ProgId"), L"txtfile");
    EXPECT_FALSE(RegistrySandbox::KeyExists(box.Sandbox().User(), L"Software\\Classes"));
}

class ProtectedMonitorLive : public kvtest::CLiveMonitorTest {
protected:
    ProtectedMonitorLive() : CLiveMonitorTest(0, 1) {}
};

TEST_F(ProtectedMonitorLive, OutsideChangeOfThePerUserClassesIsNoticedAndRecorded) {
    m_box.SetClassesDefault(L".txt", L"txtfile");
    StartMonitor();
    // Only the per-user classes change: no other watched key sees it.
    m_box.SetUserClassesDefault(L".txt", L"otherfile");
    AwaitComparison();
    ASSERT_EQ(m_callbacks.m_calls.size(), 1u);
    EXPECT_EQ(m_callbacks.m_calls[0].newChangeRecorded, 1);
    EXPECT_EQ(Changes(L".txt"), (Ids{L"txtfile", L"otherfile"}));
}

TEST_F(ProtectedMonitorLive, ChoiceReplacedByThePerUserClassesIsOneChange) {
    m_box.SetClassesDefault(L".txt", L"txtfile");
    m_box.SetUserChoice(L".txt", L"userfile");
    StartMonitor();
    // Another program's per-user change as this system allows it: the choice goes, the per-user
    // classes default names the new type.
    CFileExtRegUtil util(m_box.Roots(), m_box.Platform());
    ASSERT_TRUE(util.PointUserClassesDefault(L".txt", L"otherfile"));
    AwaitComparison();
    EXPECT_EQ(Changes(L".txt"), (Ids{L"userfile", L"otherfile"}));
}

TEST_F(ProtectedMonitorLive, OwnChangeIsAbsorbedOnceAndALaterOutsideChangeIsRecorded) {
    m_box.SetClassesDefault(L".txt", L"txtfile");
    StartMonitor();
    m_monitor->ExpectUserChoiceChange(L".txt");
    CFileExtRegUtil util(m_box.Roots(), m_box.Platform());
    ASSERT_TRUE(WriteMonitoredUserChoice(util, L".txt", CFileTypeInfo(L"Kavendor.txt.Filetype")));
    AwaitComparison();
    EXPECT_TRUE(Changes(L".txt").empty());

    m_box.SetUserClassesDefault(L".txt", L"otherfile");
    AwaitComparison();
    EXPECT_EQ(Changes(L".txt"), (Ids{L"kavendor.txt.filetype", L"otherfile"}));
}

}  // namespace
