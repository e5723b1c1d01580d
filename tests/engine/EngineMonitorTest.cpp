// The engine with a monitor plugged in: notifications reach the user interface as the reporting
// switch says, and the program's own writes are bracketed by the monitor's suspend counter.
#include <gtest/gtest.h>

#include "engine/ScanEngine.h"
#include "tests/engine/EngineTestSupport.h"

namespace kvtest {
namespace {

class FakeMonitor : public IExtensionMonitorLink {
public:
    int Start(CKVExtMonitorCallbacks* pCallbacks) override {
        m_pCallbacks = pCallbacks;
        return 1;
    }
    void Stop() override { ++m_nStops; }
    void SuspendRecording() override {
        ++m_nSuspend;
        ++m_nSuspendCalls;
    }
    void ResumeRecording() override {
        if (m_nSuspend > 0) --m_nSuspend;
    }
    void ExpectUserChoiceChange(const std::wstring& extension) override { m_expected.push_back(extension); }
    int ApplyAssociation(const std::wstring& extension, const CFileTypeInfo& type) override {
        m_applied.push_back(extension + L"=" + type.GetProgID());
        return 1;
    }
    void SetEnabled(int enabled) override { m_nEnabled = enabled; }

    CKVExtMonitorCallbacks* m_pCallbacks = nullptr;
    std::atomic<int> m_nSuspend{0};
    int m_nSuspendCalls = 0;
    int m_nStops = 0;
    int m_nEnabled = 0;
    std::vector<std::wstring> m_expected;
    std::vector<std::wstring> m_applied;
};

class UiRecorder : public EventRecorder {
public:
    int OnExtensionsChanged(ExtensionChangeMap*) override {
        ++m_nExtensionsChanged;
        return 1;
    }
    int m_nExtensionsChanged = 0;
};

TEST(EngineMonitorTest, NotificationsFollowTheReportingSwitch) {
    EngineWorld w;
    UiRecorder ui;
    CKVScanEngine engine(&ui, w.Env());
    auto monitor = std::make_unique<FakeMonitor>();
    FakeMonitor* fake = monitor.get();
    engine.AttachMonitor(std::move(monitor));
    ASSERT_EQ(fake->m_pCallbacks, static_cast<CKVExtMonitorCallbacks*>(&engine));
    ExtensionChangeMap changes;

    struct Step {
        LONG report;
        int recorded;
        int extensionsChanged;  // expected totals afterwards
        int associationsChanged;
    } steps[] = {{0, 1, 0, 1}, {0, 0, 0, 2}, {1, 1, 1, 3}, {1, 0, 1, 4}};
    for (const auto& step : steps) {
        engine.m_bReportChanges = step.report;
        EXPECT_EQ(fake->m_pCallbacks->OnMonitoredChanges(&changes, step.recorded), 1);
        EXPECT_EQ(ui.m_nExtensionsChanged, step.extensionsChanged);
        EXPECT_EQ(ui.AssociationsChanged(), step.associationsChanged);
    }
}

TEST(EngineMonitorTest, RepairChangeAndApplyRestoreTheSuspendCounter) {
    EngineWorld w;
    w.SoundProgId(L"goodfile");
    w.BrokenProgId(L"badfile");
    w.ClassesDefault(L".b", L"badfile");
    w.ClassesOpenWith(L".b", L"goodfile");
    UiRecorder ui;
    CKVScanEngine engine(&ui, w.Env());
    auto monitor = std::make_unique<FakeMonitor>();
    FakeMonitor* fake = monitor.get();
    engine.AttachMonitor(std::move(monitor));
    fake->m_nSuspend = 2;  // raised elsewhere; must come back to this value

    ASSERT_TRUE(engine.StartScan(L""));
    engine.m_scanner.WaitForScan();
    ASSERT_TRUE(engine.StartFix());
    engine.m_scanner.WaitForRepair();
    EXPECT_EQ(fake->m_nSuspend, 2);
    EXPECT_EQ(fake->m_nSuspendCalls, 1);

    CFileExtension record(L".b");
    CExtensionManager(w.Env()).LoadOne(record);
    WriteFileAt(w.Folder() + L"\\programs\\other.exe", "MZ");
    ASSERT_TRUE(engine.ChangeAction(record, L"open", L"\"" + w.Folder() + L"\\programs\\other.exe\" \"%1\""));
    EXPECT_EQ(fake->m_nSuspend, 2);
    EXPECT_EQ(fake->m_expected, std::vector<std::wstring>{L".b"});

    CFileTypeInfo type(L"goodfile");
    engine.ApplyChange(type, L".b");
    EXPECT_EQ(fake->m_applied, std::vector<std::wstring>{L".b=goodfile"});
    EXPECT_EQ(fake->m_nSuspend, 2);
    auto history = w.History();
    ASSERT_FALSE(history.empty());
    EXPECT_NE(history.back().find(L"Association changed:  Kavendor verified an association change for extension .b"),
              std::wstring::npos);
}

TEST(EngineMonitorTest, ApplyChangeWithoutMonitorWritesTheUserChoice) {
    EngineWorld w;
    w.SoundProgId(L"goodfile");
    CKVScanEngine engine(nullptr, w.Env());
    CFileTypeInfo type(L"GoodFile");
    engine.ApplyChange(type, L".a");
    EXPECT_EQ(w.UserChoiceValue(L".a"), L"goodfile");
}

}  // namespace
}  // namespace kvtest
