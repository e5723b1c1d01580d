// The monitor plugged into the scan engine: the engine's own repairs, applied changes and action
// changes are never reported, while an outside change right after them is.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "assoc/AssocReader.h"
#include "engine/ScanEngine.h"
#include "tests/monitor/MonitorHarness.h"
#include "tests/support/TempFolder.h"
#include "win/Strings.h"

using kvtest::ChangeListProgIds;
using kvtest::CMonitorSandbox;
using kvtest::PumpUntil;
using kvtest::RegistrySandbox;

namespace {

using Ids = std::vector<std::wstring>;

// The user interface's side; the workers call it from their threads.
class CUiRecorder : public CKVScanEngineCallbacks {
public:
    int OnScanComplete(ExtensionList*, BOOL) override { return ++m_nScans, 1; }
    int OnFixComplete(ExtensionList*, BOOL) override { return ++m_nFixes, 1; }
    int OnScanProgress(IFileExtension*) override { return 1; }
    int OnExtensionsChanged(ExtensionChangeMap*) override { return ++m_nExtensionsChanged, 1; }
    int OnAssociationsChanged() override { return ++m_nAssociationsChanged, 1; }

    std::atomic<int> m_nScans{0};
    std::atomic<int> m_nFixes{0};
    std::atomic<int> m_nExtensionsChanged{0};
    std::atomic<int> m_nAssociationsChanged{0};
};

class MonitorWithEngine : public ::testing::Test {
protected:
    MonitorWithEngine() {
        m_env.m_roots = m_box.Roots();
        m_env.m_strClassesRootName = L"HKEY_CURRENT_USER\\" + m_box.Sandbox().Path() + L"\\Classes";
        m_env.m_strCurrentUserName = L"HKEY_CURRENT_USER\\" + m_box.Sandbox().Path() + L"\\User";
        m_env.m_platform = m_box.Platform();
        m_env.m_strDatabaseFolder = m_folder.File(L"db");
        m_env.m_strDumpFolder = m_folder.Path();
        m_env.m_bNotifyShell = false;
        m_strProgram = m_folder.WriteFile(L"programs\\viewer.exe", "MZ");
    }

    void SoundProgId(const std::wstring& progId) {
        RegistrySandbox::SetString(m_box.Sandbox().Classes(), progId + L"\\shell\\open\\command", L"",
                                   L"\"" + m_strProgram + L"\" \"%1\"");
    }
    void BrokenProgId(const std::wstring& progId) {
        RegistrySandbox::SetString(m_box.Sandbox().Classes(), progId + L"\\shell\\open\\command", L"",
                                   L"\"C:\\kv-nowhere\\missing.exe\" \"%1\"");
    }
    // The engine with a running monitor that records and reports.
    void StartEngine() {
        m_engine = std::make_unique<CKVScanEngine>(&m_ui, m_env);
        auto monitor = std::make_unique<CExtensionMonitor>(m_box.Roots(), m_box.Platform());
        m_pMonitor = monitor.get();
        m_pMonitor->SetEnabled(1);
        m_engine->m_bReportChanges = 1;
        m_engine->AttachMonitor(std::move(monitor));
        ASSERT_EQ(m_pMonitor->IsRunning(), 1);
    }
    std::wstring ClassesSnapshot(const std::wstring& extension) const {
        auto found = m_pMonitor->GetClassesSnapshot().find(extension);
        return found == m_pMonitor->GetClassesSnapshot().end() ? std::wstring() : found->second;
    }
    std::wstring UserSnapshot(const std::wstring& extension) const {
        auto found = m_pMonitor->GetUserChoiceSnapshot().find(extension);
        return found == m_pMonitor->GetUserChoiceSnapshot().end() ? std::wstring() : found->second;
    }
    // Pumps until the suspend counter is back at 0 and a comparison that started after now has run.
    void AwaitSettledComparison() {
        const unsigned long before = m_pMonitor->GetComparisonCount();
        ASSERT_TRUE(PumpUntil(
            [&] { return m_pMonitor->GetSuspendCount() == 0 && m_pMonitor->GetComparisonCount() > before; }));
    }
    Ids Changes(const std::wstring& extension) const { return ChangeListProgIds(*m_pMonitor, extension); }

    CMonitorSandbox m_box;
    kvtest::TempFolder m_folder;
    CEngineEnvironment m_env;
    std::wstring m_strProgram;
    CUiRecorder m_ui;
    std::unique_ptr<CKVScanEngine> m_engine;
    CExtensionMonitor* m_pMonitor = nullptr;
};

TEST_F(MonitorWithEngine, RepairIsNotReportedButAnOutsideChangeRightAfterIs) {
    SoundProgId(L"goodfile");
    BrokenProgId(L"badfile");
    SoundProgId(L"docfile");
    m_box.SetClassesDefault(L".b", L"badfile");
    RegistrySandbox::SetRaw(m_box.Sandbox().Classes(), L".b\\OpenWithProgIDs", L"goodfile", REG_NONE, nullptr, 0);
    m_box.SetClassesDefault(L".doc", L"docfile");
    StartEngine();

    ASSERT_TRUE(m_engine->StartScan(L""));
    ASSERT_TRUE(PumpUntil([&] { return m_ui.m_nScans == 1; }));
    ASSERT_TRUE(m_engine->StartFix());
    // The repair points .b at the sound type; wait until the monitor has seen that and recording is back.
    ASSERT_TRUE(PumpUntil([&] {
        return m_ui.m_nFixes == 1 && m_pMonitor->GetSuspendCount() == 0 && ClassesSnapshot(L".b") == L"goodfile";
    }));
    EXPECT_EQ(RegistrySandbox::GetString(m_box.Sandbox().Classes(), L".b", L""), L"goodfile");
    EXPECT_TRUE(m_pMonitor->GetChanges()->empty());
    EXPECT_EQ(m_ui.m_nExtensionsChanged, 0);

    m_box.SetClassesDefault(L".doc", L"otherdoc");
    ASSERT_TRUE(PumpUntil([&] { return !Changes(L".doc").empty(); }));
    EXPECT_EQ(Changes(L".doc"), (Ids{L"docfile", L"otherdoc"}));
    EXPECT_EQ(m_ui.m_nExtensionsChanged, 1);
    EXPECT_TRUE(Changes(L".b").empty());
}

TEST_F(MonitorWithEngine, AppliedChangeIsNotReportedAgain) {
    SoundProgId(L"docfile");
    SoundProgId(L"otherdoc");
    m_box.SetClassesDefault(L".doc", L"docfile");
    StartEngine();
    m_box.SetClassesDefault(L".doc", L"otherdoc");
    ASSERT_TRUE(PumpUntil([&] { return !Changes(L".doc").empty(); }));
    ASSERT_EQ(m_ui.m_nExtensionsChanged, 1);

    // Put the previous program back, as the monitor page does with an element of the list.
    const auto* previous = dynamic_cast<const CFileTypeInfo*>(m_pMonitor->GetChanges()->at(L".doc").front());
    ASSERT_NE(previous, nullptr);
    const std::wstring extension = L".doc";
    m_engine->ApplyChange(*previous, extension);
    EXPECT_TRUE(m_pMonitor->GetChanges()->empty());
    EXPECT_EQ(RegistrySandbox::GetString(m_box.Sandbox().User(), m_box.UserChoiceKey(L".doc"), L"ProgId"),
              L"docfile");

    AwaitSettledComparison();
    EXPECT_TRUE(m_pMonitor->GetChanges()->empty());
    EXPECT_EQ(m_ui.m_nExtensionsChanged, 1);
    EXPECT_EQ(UserSnapshot(L".doc"), L"docfile");
}

TEST_F(MonitorWithEngine, ActionChangeIsNotReportedButTheNextOutsideChoiceIs) {
    SoundProgId(L"docfile");
    m_box.SetClassesDefault(L".doc", L"docfile");
    StartEngine();

    CFileExtRegUtil util(m_box.Roots(), m_box.Platform());
    CFileExtension record(L".doc");
    util.ReadExtension(record);
    KVChangeResult result = KVChangeResult::WriteFailed;
    ASSERT_TRUE(m_engine->ChangeAction(record, L"open", L"\"" + m_strProgram + L"\" /edit \"%1\"", &result));
    ASSERT_EQ(result, KVChangeResult::Changed);
    const std::wstring own = RegistrySandbox::GetString(m_box.Sandbox().User(), m_box.UserChoiceKey(L".doc"), L"ProgId");
    ASSERT_NE(own, L"<absent>");

    AwaitSettledComparison();
    EXPECT_TRUE(m_pMonitor->GetChanges()->empty());
    EXPECT_EQ(m_ui.m_nExtensionsChanged, 0);
    EXPECT_TRUE(win::EqualsNoCase(UserSnapshot(L".doc"), own));

    m_box.SetUserChoice(L".doc", L"thirdparty.doc");
    ASSERT_TRUE(PumpUntil([&] { return !Changes(L".doc").empty(); }));
    ASSERT_EQ(Changes(L".doc").size(), 2u);
    EXPECT_TRUE(win::EqualsNoCase(Changes(L".doc").front(), own));
    EXPECT_EQ(Changes(L".doc").back(), L"thirdparty.doc");
    EXPECT_EQ(m_ui.m_nExtensionsChanged, 1);
}

}  // namespace
