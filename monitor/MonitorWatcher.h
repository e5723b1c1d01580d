#pragma once
// The watcher threads of the extension monitor and the state they share with it.
//
// The state is reference counted: the monitor holds one reference and every watcher thread one.
// A thread that is slow to end after Stop therefore still finds its flags, its events and the
// lock alive after the monitor is gone, and it can never post to a window that no longer exists,
// because the monitor detaches the window under the lock before destroying it.
//
// The threads never touch the snapshots or the timer itself: a timer belongs to the thread that
// owns its window, so a watcher only posts KV_WM_MONITOR_CHANGED and the user-interface thread
// arms the timer.
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "win/RegKey.h"
#include "win/UniqueHandle.h"

// Posted by a watcher to the timer window: a watched key changed. wParam: the generation.
inline constexpr UINT KV_WM_MONITOR_CHANGED = WM_APP + 0x137;
// Sent just before the suspend counter returns to 0: compare once more while the writes of the
// suspended period still count as the program's own. Answer: 1 when compared.
inline constexpr UINT KV_WM_MONITOR_CATCH_UP = WM_APP + 0x138;
// Posted after the counter returned to 0 when that comparison could not run: compare without
// recording as soon as possible.
inline constexpr UINT KV_WM_MONITOR_RESUMED = WM_APP + 0x139;

class CMonitorWatchState {
public:
    // Events and the start-up semaphore; false when one cannot be created.
    bool Create();

    // Sets the stop request and wakes both threads; the stop event is never reset.
    void RequestStop();
    // Where notifications go; null detaches (nothing is posted afterwards).
    void SetWindow(HWND hwnd);
    // Posts to the window unless a stop is requested or no window is attached.
    bool Post(UINT message, WPARAM wParam);
    // Posts KV_WM_MONITOR_CHANGED unless one is still queued: a flood of notifications never
    // floods the user-interface thread's queue. The window calls ChangeTaken before it acts.
    void PostChange();
    void ChangeTaken() { m_bChangeQueued = 0; }

    std::atomic<LONG> m_bStopRequested{0};
    std::atomic<LONG> m_nRunning{0};  // watcher threads that have started and not yet ended
    WPARAM m_nGeneration = 0;         // which Start the threads belong to; set before they start
    win::UniqueKernelHandle m_hEventClasses;  // manual reset, signalled by the registry
    win::UniqueKernelHandle m_hEventUser;
    win::UniqueKernelHandle m_hEventUserClasses;  // the per-user classes, watched on protected systems
    win::UniqueKernelHandle m_hStopEvent;     // manual reset, signalled by RequestStop
    win::UniqueKernelHandle m_hStarted;       // semaphore, released once per thread when it watches

private:
    std::atomic<LONG> m_bChangeQueued{0};
    std::mutex m_lock;
    HWND m_hWnd = nullptr;
};

// Starts a watcher over an open key (notify access) that signals `hEvent` on changes of names and
// values anywhere below it. The thread owns the key and a reference to the state. Returns the
// thread handle, or an empty handle when the thread cannot be started.
win::UniqueKernelHandle StartWatcherThread(const std::shared_ptr<CMonitorWatchState>& state, win::RegKey key,
                                           HANDLE hEvent);
