#include "monitor/MonitorWatcher.h"

#include <process.h>

#include <new>

#include "win/Debug.h"

namespace {

struct CWatchParams {
    std::shared_ptr<CMonitorWatchState> state;
    win::RegKey key;
    HANDLE hEvent = nullptr;  // borrowed from the state, which this block keeps alive
};

bool RequestNotification(HKEY key, HANDLE event) {
    return ::RegNotifyChangeKeyValue(key, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, event, TRUE) ==
           ERROR_SUCCESS;
}

unsigned __stdcall WatchThread(void* argument) {
    std::unique_ptr<CWatchParams> params(static_cast<CWatchParams*>(argument));
    CMonitorWatchState& state = *params->state;
    win::DebugOut(L"Starting Monitor\n");
    ++state.m_nRunning;

    bool watching = !state.m_bStopRequested && RequestNotification(params->key.get(), params->hEvent);
    // The monitor takes its first snapshot only once both threads watch, so no change falls between.
    ::ReleaseSemaphore(state.m_hStarted.get(), 1, nullptr);

    const HANDLE waits[2] = {params->hEvent, state.m_hStopEvent.get()};
    while (watching && !state.m_bStopRequested) {
        if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) break;
        if (state.m_bStopRequested) break;
        ::ResetEvent(params->hEvent);
        // Watch again before the comparison is asked for: a change made from here on signals
        // anew, and one made earlier is already in the registry when the comparison reads it.
        watching = RequestNotification(params->key.get(), params->hEvent);
        win::DebugOut(L"Setting Changes Timer\n");
        state.PostChange();
    }

    params->key.Close();
    --state.m_nRunning;
    win::DebugOut(L"Exiting Monitor\n");
    return 0;
}

}  // namespace

bool CMonitorWatchState::Create() {
    m_hEventClasses.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_hEventUser.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_hEventUserClasses.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_hStopEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_hStarted.reset(::CreateSemaphoreW(nullptr, 0, 3, nullptr));
    return m_hEventClasses && m_hEventUser && m_hEventUserClasses && m_hStopEvent && m_hStarted;
}

void CMonitorWatchState::RequestStop() {
    m_bStopRequested = 1;
    if (m_hStopEvent) ::SetEvent(m_hStopEvent.get());
}

void CMonitorWatchState::SetWindow(HWND hwnd) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_hWnd = hwnd;
}

bool CMonitorWatchState::Post(UINT message, WPARAM wParam) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bStopRequested || !m_hWnd) return false;
    return ::PostMessageW(m_hWnd, message, wParam, 0) != FALSE;
}

void CMonitorWatchState::PostChange() {
    if (m_bChangeQueued.exchange(1)) return;
    if (!Post(KV_WM_MONITOR_CHANGED, m_nGeneration)) m_bChangeQueued = 0;
}

win::UniqueKernelHandle StartWatcherThread(const std::shared_ptr<CMonitorWatchState>& state, win::RegKey key,
                                           HANDLE hEvent) {
    auto params = std::unique_ptr<CWatchParams>(new (std::nothrow) CWatchParams);
    if (!params) return {};
    params->state = state;
    params->key = std::move(key);
    params->hEvent = hEvent;
    uintptr_t thread = ::_beginthreadex(nullptr, 0, &WatchThread, params.get(), 0, nullptr);
    if (!thread) return {};
    params.release();  // the thread frees it
    return win::UniqueKernelHandle(reinterpret_cast<HANDLE>(thread));
}
