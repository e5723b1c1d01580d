// ApplyAssociation and the one write behind it, on both kinds of system.
#include <gtest/gtest.h>

#include "monitor/UserChoiceWriter.h"
#include "tests/monitor/MonitorHarness.h"

using kvtest::ChangeListProgIds;
using kvtest::CMonitorSandbox;
using kvtest::RegistrySandbox;

namespace {

const std::wstring kAbsent = L"<absent>";

struct WriteCase {
    const char* label;
    BOOL legacyShell;
    std::wstring progId;
    BOOL application;
    // Expected afterwards under the user-choice key of that system.
    std::wstring progIdValue;
    std::wstring applicationValue;
};

TEST(MonitorApply, WritesTheUserChoiceWhereThisSystemKeepsIt) {
    const std::vector<WriteCase> cases = {
        {"ProgID", 0, L"TxtFile", 0, L"txtfile", kAbsent},
        {"application type as ProgID", 0, L"Applications\\Editor.exe", 1, L"applications\\editor.exe", kAbsent},
        {"legacy ProgID", 1, L"TxtFile", 0, L"txtfile", kAbsent},
        {"legacy application", 1, L"Applications\\Editor.exe", 1, kAbsent, L"editor.exe"},
        {"legacy ProgID naming a program", 1, L"editor.exe", 0, kAbsent, L"editor.exe"},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.label);
        CMonitorSandbox box(c.legacyShell);
        box.SetUserChoice(L".txt", L"oldfile");
        CFileExtRegUtil util(box.Roots(), box.Platform());
        CFileTypeInfo type(c.progId);
        type.m_bApplication = c.application;

        ASSERT_TRUE(WriteMonitoredUserChoice(util, L".txt", type));
        const std::wstring key = box.UserChoiceKey(L".txt");
        EXPECT_EQ(RegistrySandbox::GetString(box.Sandbox().User(), key, L"ProgId"), c.progIdValue);
        EXPECT_EQ(RegistrySandbox::GetString(box.Sandbox().User(), key, L"Application"), c.applicationValue);
    }
}

TEST(MonitorApply, ChoiceKeyIsCreatedAfreshWithoutWhatItCarried) {
    CMonitorSandbox box;
    box.SetUserChoice(L".txt", L"oldfile");
    RegistrySandbox::SetString(box.Sandbox().User(), box.UserChoiceKey(L".txt"), L"Hash", L"abc=");
    CFileExtRegUtil util(box.Roots(), box.Platform());

    ASSERT_TRUE(WriteMonitoredUserChoice(util, L".txt", CFileTypeInfo(L"txtfile")));
    EXPECT_EQ(RegistrySandbox::GetString(box.Sandbox().User(), box.UserChoiceKey(L".txt"), L"Hash"), kAbsent);
}

TEST(MonitorApply, RefusesWhatCannotBeWrittenAndKeepsTheChange) {
    struct RefuseCase {
        const char* label;
        std::wstring extension;
        std::wstring progId;
    };
    const std::vector<RefuseCase> cases = {
        {"empty ProgID", L".txt", L""},
        {"extension naming a path", L".txt\\..\\x", L"txtfile"},
        {"empty extension", L"", L"txtfile"},
        {"control character", std::wstring(L".t\x01x"), L"txtfile"},
    };
    for (const RefuseCase& c : cases) {
        SCOPED_TRACE(c.label);
        CMonitorSandbox box;
        box.SetClassesDefault(L".txt", L"txtfile");
        CExtensionMonitor monitor(box.Roots(), box.Platform());
        monitor.SetEnabled(1);
        monitor.ScanAssociations(0);
        ASSERT_EQ(monitor.CompareClasses(L".txt", L"otherfile"), 1);

        EXPECT_EQ(monitor.ApplyAssociation(c.extension, CFileTypeInfo(c.progId)), 0);
        EXPECT_EQ(ChangeListProgIds(monitor, L".txt"), (std::vector<std::wstring>{L"txtfile", L"otherfile"}));
        EXPECT_FALSE(RegistrySandbox::KeyExists(box.Sandbox().User(), kvtest::kFileExts));
    }
}

TEST(MonitorApply, ForgetChangeDeletesOnlyThatList) {
    CMonitorSandbox box;
    box.SetClassesDefault(L".txt", L"txtfile");
    box.SetClassesDefault(L".doc", L"docfile");
    CExtensionMonitor monitor(box.Roots(), box.Platform());
    monitor.SetEnabled(1);
    monitor.ScanAssociations(0);
    monitor.CompareClasses(L".txt", L"otherfile");
    monitor.CompareClasses(L".doc", L"otherdoc");

    EXPECT_EQ(monitor.ForgetChange(L".txt"), 1);
    EXPECT_EQ(monitor.ForgetChange(L".none"), 1);
    EXPECT_TRUE(ChangeListProgIds(monitor, L".txt").empty());
    EXPECT_EQ(ChangeListProgIds(monitor, L".doc"), (std::vector<std::wstring>{L"docfile", L"otherdoc"}));
}

}  // namespace
