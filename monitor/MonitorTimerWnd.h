#pragma once
// Hidden window of the extension monitor. It lives on the thread that started the monitor (the
// user-interface thread), so every comparison runs there: the watcher threads post
// KV_WM_MONITOR_CHANGED, the window restarts its short one-shot timer, and when the registry has
// been quiet that long the timer runs HandleChanges. A burst of writes thus costs one comparison.
#include <windows.h>

#include "framework/Window.h"

class CExtensionMonitor;

class CMonitorTimerWnd : public fw::CWindow {
public:
    static constexpr UINT_PTR kTimerId = 1337;
    static constexpr UINT kDelayMs = 5;

    explicit CMonitorTimerWnd(CExtensionMonitor* pMonitor) : m_pMonitor(pMonitor) {}

    // A hidden top-level tool window of its own class; it is never shown.
    bool Create();
    // Kills the timer and starts it again, so the comparison waits for the registry to settle.
    void RestartTimer();
    void CancelTimer();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    CExtensionMonitor* m_pMonitor;
};
