#include "monitor/MonitorTimerWnd.h"

#include "monitor/ExtensionMonitor.h"
#include "monitor/MonitorWatcher.h"
#include "win/Debug.h"

namespace {
const wchar_t kClassName[] = L"KavendorMonitorTimerWnd";
}

bool CMonitorTimerWnd::Create() {
    WNDCLASSEXW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpszClassName = kClassName;
    if (!RegisterWindowClass(wc)) return false;
    return CreateEx(WS_EX_TOOLWINDOW, kClassName, L"", WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 0, 0, nullptr,
                    nullptr);
}

void CMonitorTimerWnd::RestartTimer() {
    if (!m_hWnd) return;
    ::KillTimer(m_hWnd, kTimerId);
    ::SetTimer(m_hWnd, kTimerId, kDelayMs, nullptr);
}

void CMonitorTimerWnd::CancelTimer() {
    if (m_hWnd) ::KillTimer(m_hWnd, kTimerId);
}

LRESULT CMonitorTimerWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TIMER:
        if (wParam != kTimerId) break;
        ::KillTimer(m_hWnd, kTimerId);
        win::DebugOut(L"Timer Triggered\n");
        m_pMonitor->HandleChanges();
        return 0;
    case KV_WM_MONITOR_CHANGED:
        m_pMonitor->OnChangeNotified(wParam);
        return 0;
    case KV_WM_MONITOR_CATCH_UP:
        return m_pMonitor->OnCatchUp() ? 1 : 0;
    case KV_WM_MONITOR_RESUMED:
        m_pMonitor->OnRecordingResumed();
        return 0;
    default:
        break;
    }
    return DefaultProc(message, wParam, lParam);
}
