#pragma once
// A monitor started on a sandbox against real registry notifications, with the test thread
// pumping messages as the user-interface thread does.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/monitor/MonitorHarness.h"

namespace kvtest {

class CLiveMonitorTest : public ::testing::Test {
protected:
    explicit CLiveMonitorTest(BOOL legacyShell = 0, BOOL protectedUserChoice = 0)
        : m_box(legacyShell, protectedUserChoice) {}

    void StartMonitor(int enabled = 1) {
        m_monitor = std::make_unique<CExtensionMonitor>(m_box.Roots(), m_box.Platform());
        m_monitor->SetEnabled(enabled);
        ASSERT_EQ(m_monitor->Start(&m_callbacks), 1);
    }
    // Pumps until a comparison has run that started after this call, so it saw every write made so far.
    void AwaitComparison() {
        const unsigned long before = m_monitor->GetComparisonCount();
        ASSERT_TRUE(PumpUntil([&] { return m_monitor->GetComparisonCount() > before; }));
    }
    std::vector<std::wstring> Changes(const std::wstring& extension) const {
        return ChangeListProgIds(*m_monitor, extension);
    }

    CMonitorSandbox m_box;
    CRecordingCallbacks m_callbacks;
    std::unique_ptr<CExtensionMonitor> m_monitor;
};

}  // namespace kvtest
