#pragma once
// Shared by the update tests: where the built libraries are, the call log of the development
// library, and a recorder for the callbacks of a run.
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "tests/support/RegistrySandbox.h"
#include "tests/support/TempFolder.h"
#include "update/TorkApi.h"
#include "win/UniqueHandle.h"

namespace torktest {

// A file of the build tree, given relative to this test program's folder.
std::wstring BuildOutput(const std::wstring& relative);
std::wstring FullLibrary();     // Tork3.dll
std::wstring PartialLibrary();  // the variant without TKDelete, TKDoAllUpdatesWithUIEx, TKShowUpdatesSettingsDialog

// The visible top-level window of a thread with the given title; null when there is none.
HWND FindThreadWindow(DWORD threadId, const std::wstring& title);

// Points the development library at a call log, a scenario and a scratch settings key for the
// lifetime of the object.
class CLibraryEnvironment {
public:
    explicit CLibraryEnvironment(const std::wstring& scenario);
    ~CLibraryEnvironment();
    void SetScenario(const std::wstring& scenario);
    std::vector<std::wstring> CallLog() const;
    // The settings key below HKEY_CURRENT_USER.
    std::wstring SettingsKey() const { return m_sandbox.Path() + L"\\User\\Tork3\\Settings"; }

private:
    kvtest::TempFolder m_folder;
    kvtest::RegistrySandbox m_sandbox;
    std::wstring m_strLog;
};

// One callback as the library made it.
struct CallbackEvent {
    int code = 0;
    int row = 0;
    std::wstring product;
    int status = 0;
    int progress = 0;
    INT_PTR value = 0;  // flags, row to delete, or event handle
    DWORD threadId = 0;
};

// Records every callback of a run; `stopWhen` decides when to answer 1.
class CCallbackRecorder {
public:
    CCallbackRecorder();
    ~CCallbackRecorder();
    TKCallbackRecord Record();
    // Waits (at most 60 s, as a guard against a hang) until the run has handed over its stop event
    // and signalled it.
    bool WaitUntilStopped();
    std::vector<CallbackEvent> Events() const;
    // Events of code 4 with row references resolved to row numbers: for each row, its statuses in order.
    std::vector<std::vector<int>> StatusesByRow() const;

    // Answer 1 from the first callback for which this holds, and from every one after it.
    bool (*m_pfnStopWhen)(const CallbackEvent&) = nullptr;
    // Signalled at the first callback for which this holds.
    bool (*m_pfnSignalWhen)(const CallbackEvent&) = nullptr;
    win::UniqueKernelHandle m_hSignal;

private:
    static int __cdecl Callback(HWND dialog, int code, void* data);
    mutable std::mutex m_lock;
    std::vector<CallbackEvent> m_events;
    bool m_bStopping = false;
    bool m_bSignalled = false;
};

}  // namespace torktest
