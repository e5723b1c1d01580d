// Development and test stand-in for the maker's update library: the six exports over scripted runs
// of a small product catalogue (see SimScenario.h). Nothing is fetched from any network.
// KV_TORK3_LOG, when set, names a file to which every export call appends one line.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "update/TorkApi.h"
#include "update/tork3sim/SimResource.h"
#include "update/tork3sim/SimRun.h"
#include "update/tork3sim/SimScenario.h"
#include "win/RegKey.h"
#include "win/Strings.h"
#include "win/UniqueHandle.h"

// A variant built for tests leaves some exports out.
#ifdef KV_TORK3_PARTIAL
#define TK_OPTIONAL_EXPORT
#else
#define TK_OPTIONAL_EXPORT __declspec(dllexport)
#endif
#define TK_EXPORT __declspec(dllexport)

namespace {

HINSTANCE g_hModule = nullptr;

enum : int { TK_OK = 0, TK_ERROR = 1, TK_INVALID_ARGUMENT = 2, TK_BUSY = 3 };

struct CSimInstance {
    win::UniqueKernelHandle m_hStopEvent;   // signalled whenever no run is under way
    win::UniqueKernelHandle m_hAbortEvent;  // set when the instance is deleted
    win::UniqueKernelHandle m_hThread;
    TKCallbackRecord m_record{};
    SimScenario m_scenario;
};

std::mutex g_instancesLock;
std::set<CSimInstance*> g_instances;

bool IsInstance(TKHANDLE handle) {
    std::lock_guard<std::mutex> lock(g_instancesLock);
    return g_instances.count(static_cast<CSimInstance*>(handle)) != 0;
}

std::wstring InstanceLabel(TKHANDLE handle) {
    if (!handle) return L"0";
    return IsInstance(handle) ? L"instance" : L"unknown";
}

void LogCall(const std::wstring& line) {
    std::wstring path = SimEnvironment(L"KV_TORK3_LOG");
    if (path.empty()) return;
    win::UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    std::string bytes = win::WideToUtf8(line + L"\n");
    DWORD written = 0;
    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// Waits for a thread while still answering messages sent to this thread, because the run may be
// waiting for this thread's window to answer its callback.
void WaitAnsweringSentMessages(HANDLE thread) {
    while (::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

DWORD WINAPI InstanceRunThread(void* parameter) {
    auto* instance = static_cast<CSimInstance*>(parameter);
    CSimRun run(instance->m_record, instance->m_scenario, instance->m_hAbortEvent.get());
    run.Execute();
    ::SetEvent(instance->m_hStopEvent.get());
    return 0;
}

// ---- the library's own update window ----

const UINT WM_SIM_REPORT = WM_APP + 20;

struct CSimWindowState {
    SimScenario m_scenario;
    win::UniqueKernelHandle m_hAbortEvent;
    win::UniqueKernelHandle m_hThread;
    std::vector<std::wstring> m_products;
    std::vector<int> m_statuses;
    int m_nLastDownloading = -1;
    int m_nLastInstalling = -1;
    bool m_bStop = false;
    bool m_bFinished = false;
};

int __cdecl WindowCallback(HWND dialog, int code, void* data) {
    // A window that is gone asks the run to stop.
    if (!::IsWindow(dialog)) return 1;
    return ::SendMessageW(dialog, WM_SIM_REPORT, static_cast<WPARAM>(code), reinterpret_cast<LPARAM>(data)) ? 1 : 0;
}

DWORD WINAPI WindowRunThread(void* parameter) {
    auto* dialog = static_cast<HWND>(parameter);
    auto* state = reinterpret_cast<CSimWindowState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    TKCallbackRecord record{&WindowCallback, dialog};
    CSimRun run(record, state->m_scenario, state->m_hAbortEvent.get());
    run.Execute();
    return 0;
}

void ShowRow(HWND dialog, CSimWindowState* state, int index) {
    HWND list = ::GetDlgItem(dialog, IDC_SIM_LIST);
    std::wstring line = state->m_products[index] + L": " + SimStatusText(state->m_statuses[index]);
    ::SendMessageW(list, LB_DELETESTRING, index, 0);
    ::SendMessageW(list, LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(line.c_str()));
}

void OnReport(HWND dialog, CSimWindowState* state, int code, void* data) {
    HWND progress = ::GetDlgItem(dialog, IDC_SIM_PROGRESS);
    switch (code) {
    case TK_CB_MESSAGE:
        ::SetDlgItemTextW(dialog, IDC_SIM_STATE, static_cast<const wchar_t*>(data));
        break;
    case TK_CB_DELETE_ROW:
        state->m_products.clear();
        state->m_statuses.clear();
        ::SendDlgItemMessageW(dialog, IDC_SIM_LIST, LB_RESETCONTENT, 0, 0);
        break;
    case TK_CB_ROW: {
        const auto* row = static_cast<const TKRowRecord*>(data);
        int index = row->nRow == TK_ROW_LAST_DOWNLOADING ? state->m_nLastDownloading
                    : row->nRow == TK_ROW_LAST_INSTALLING ? state->m_nLastInstalling
                                                          : row->nRow;
        if (row->nRow == TK_ROW_APPEND) {
            state->m_products.push_back(row->pszProduct ? row->pszProduct : L"");
            state->m_statuses.push_back(TK_STATUS_UNCHANGED);
            index = static_cast<int>(state->m_products.size()) - 1;
            ::SendDlgItemMessageW(dialog, IDC_SIM_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L""));
        }
        if (index < 0 || index >= static_cast<int>(state->m_products.size())) break;
        if (row->nStatus != TK_STATUS_UNCHANGED) {
            state->m_statuses[index] = row->nStatus;
            if (row->nStatus == TK_STATUS_DOWNLOADING) state->m_nLastDownloading = index;
            if (row->nStatus == TK_STATUS_INSTALLING) state->m_nLastInstalling = index;
        }
        ShowRow(dialog, state, index);
        if (row->nProgress == TK_PROGRESS_INDETERMINATE) {
            ::SetWindowLongPtrW(progress, GWL_STYLE, ::GetWindowLongPtrW(progress, GWL_STYLE) | PBS_MARQUEE);
            ::SendMessageW(progress, PBM_SETMARQUEE, TRUE, 30);
        } else if (row->nProgress >= 0) {
            ::SendMessageW(progress, PBM_SETMARQUEE, FALSE, 0);
            ::SetWindowLongPtrW(progress, GWL_STYLE, ::GetWindowLongPtrW(progress, GWL_STYLE) & ~PBS_MARQUEE);
            ::SendMessageW(progress, PBM_SETPOS, std::min(row->nProgress, 100), 0);
        }
        break;
    }
    case TK_CB_FINISHED: {
        state->m_bFinished = true;
        int flags = static_cast<int>(reinterpret_cast<INT_PTR>(data));
        ::SetDlgItemTextW(dialog, IDC_SIM_STATE,
                          flags & TK_FINISHED_REBOOT ? L"Finished. A reboot completes the update." : L"Finished.");
        ::SetDlgItemTextW(dialog, IDCANCEL, L"Close");
        if (flags & TK_FINISHED_CLOSE) ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        break;
    }
    default:
        break;
    }
}

INT_PTR CALLBACK WindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<CSimWindowState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        state = reinterpret_cast<CSimWindowState*>(lParam);
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        ::SendDlgItemMessageW(dialog, IDC_SIM_PROGRESS, PBM_SETRANGE32, 0, 100);
        state->m_hThread.reset(::CreateThread(nullptr, 0, &WindowRunThread, dialog, 0, nullptr));
        if (!state->m_hThread) ::SetDlgItemTextW(dialog, IDC_SIM_STATE, L"The update could not be started.");
        return TRUE;
    }
    case WM_SIM_REPORT:
        if (!state) return FALSE;
        OnReport(dialog, state, static_cast<int>(wParam), reinterpret_cast<void*>(lParam));
        ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT, state->m_bStop ? 1 : 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL && state) {
            state->m_bStop = true;
            ::EndDialog(dialog, state->m_bFinished ? IDOK : IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

int RunWithWindow(bool showWindow) {
    SimScenario scenario = CurrentSimScenario();
    if (!showWindow) {
        CSimRun run(TKCallbackRecord{nullptr, nullptr}, scenario, nullptr);
        return run.Execute() ? TK_OK : TK_ERROR;
    }
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    CSimWindowState state;
    state.m_scenario = scenario;
    state.m_hAbortEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!state.m_hAbortEvent) return TK_ERROR;
    INT_PTR result = ::DialogBoxParamW(g_hModule, MAKEINTRESOURCEW(IDD_SIM_PROGRESS), nullptr, &WindowProc,
                                       reinterpret_cast<LPARAM>(&state));
    ::SetEvent(state.m_hAbortEvent.get());
    if (state.m_hThread) WaitAnsweringSentMessages(state.m_hThread.get());
    return result == IDOK ? TK_OK : TK_ERROR;
}

// ---- the settings dialog ----

const wchar_t* const kScenarioNames[] = {L"update", L"noupdates", L"failed", L"reboot", L"slow", L"offline"};

INT_PTR CALLBACK SettingsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        SimScenario scenario = CurrentSimScenario();
        HWND combo = ::GetDlgItem(dialog, IDC_SIM_SCENARIO);
        for (const wchar_t* name : kScenarioNames) {
            LRESULT index = ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
            if (scenario.strName == name) ::SendMessageW(combo, CB_SETCURSEL, index, 0);
        }
        if (::SendMessageW(combo, CB_GETCURSEL, 0, 0) == CB_ERR) ::SendMessageW(combo, CB_SETCURSEL, 0, 0);
        ::CheckDlgButton(dialog, IDC_SIM_CLOSE, scenario.bClose ? BST_CHECKED : BST_UNCHECKED);
        ::SetDlgItemInt(dialog, IDC_SIM_DELAY, scenario.nDelayMs, FALSE);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            SimScenario scenario;
            LRESULT index = ::SendDlgItemMessageW(dialog, IDC_SIM_SCENARIO, CB_GETCURSEL, 0, 0);
            if (index >= 0 && index < static_cast<LRESULT>(std::size(kScenarioNames)))
                scenario.strName = kScenarioNames[index];
            scenario = ParseSimScenario(scenario.strName);
            scenario.bClose = ::IsDlgButtonChecked(dialog, IDC_SIM_CLOSE) == BST_CHECKED;
            BOOL valid = FALSE;
            UINT delay = ::GetDlgItemInt(dialog, IDC_SIM_DELAY, &valid, FALSE);
            if (valid) scenario.nDelayMs = std::min<UINT>(delay, 10000);
            win::RegKey key;
            if (key.Create(HKEY_CURRENT_USER, SimSettingsKeyPath(), KEY_WRITE) == ERROR_SUCCESS)
                key.WriteString(L"SimScenario", FormatSimScenario(scenario));
            ::EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            ::EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

extern "C" {

TK_EXPORT int WINAPI TKCreate(TKHANDLE* instance) {
    LogCall(L"TKCreate");
    if (!instance) return TK_INVALID_ARGUMENT;
    if (CurrentSimScenario().strName == L"createfails") return TK_ERROR;
    auto* created = new (std::nothrow) CSimInstance;
    if (!created) return TK_ERROR;
    created->m_hStopEvent.reset(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    created->m_hAbortEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!created->m_hStopEvent || !created->m_hAbortEvent) {
        delete created;
        return TK_ERROR;
    }
    {
        std::lock_guard<std::mutex> lock(g_instancesLock);
        g_instances.insert(created);
    }
    *instance = created;
    return TK_OK;
}

TK_OPTIONAL_EXPORT int WINAPI TKDelete(TKHANDLE handle) {
    LogCall(L"TKDelete " + InstanceLabel(handle));
    auto* instance = static_cast<CSimInstance*>(handle);
    {
        std::lock_guard<std::mutex> lock(g_instancesLock);
        if (!g_instances.erase(instance)) return TK_INVALID_ARGUMENT;
    }
    ::SetEvent(instance->m_hAbortEvent.get());
    if (instance->m_hThread) WaitAnsweringSentMessages(instance->m_hThread.get());
    delete instance;
    return TK_OK;
}

TK_EXPORT int WINAPI TKDoAllUpdates(TKHANDLE handle, TKCallbackRecord* record) {
    LogCall(L"TKDoAllUpdates " + InstanceLabel(handle));
    if (!IsInstance(handle) || !record || !record->pfnCallback) return TK_INVALID_ARGUMENT;
    auto* instance = static_cast<CSimInstance*>(handle);
    if (instance->m_hThread) {
        // A run is over once its stop event is signalled; its thread reports nothing after that
        // and only has to end.
        if (::WaitForSingleObject(instance->m_hStopEvent.get(), 0) != WAIT_OBJECT_0) return TK_BUSY;
        ::WaitForSingleObject(instance->m_hThread.get(), INFINITE);
        instance->m_hThread.reset();
    }
    // The record is the caller's; the run keeps its own copy.
    instance->m_record = *record;
    instance->m_scenario = CurrentSimScenario();
    ::ResetEvent(instance->m_hStopEvent.get());
    // The stop event is in the caller's hands before this returns.
    record->pfnCallback(record->hDialog, TK_CB_STOP_EVENT, instance->m_hStopEvent.get());
    instance->m_hThread.reset(::CreateThread(nullptr, 0, &InstanceRunThread, instance, 0, nullptr));
    if (!instance->m_hThread) {
        ::SetEvent(instance->m_hStopEvent.get());
        return TK_ERROR;
    }
    return TK_OK;
}

TK_EXPORT int WINAPI TKDoAllUpdatesWithUI(TKHANDLE handle) {
    LogCall(L"TKDoAllUpdatesWithUI " + InstanceLabel(handle));
    return RunWithWindow(true);
}

TK_OPTIONAL_EXPORT int WINAPI TKDoAllUpdatesWithUIEx(TKHANDLE handle, int showWindow) {
    LogCall(L"TKDoAllUpdatesWithUIEx " + InstanceLabel(handle) + L" " + std::to_wstring(showWindow));
    return RunWithWindow(showWindow != 0);
}

TK_OPTIONAL_EXPORT int WINAPI TKShowUpdatesSettingsDialog(TKHANDLE handle, HWND parent) {
    LogCall(L"TKShowUpdatesSettingsDialog " + InstanceLabel(handle) + L" " +
            win::Format(L"%llx", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(parent))));
    if (parent && !::IsWindow(parent)) parent = nullptr;
    INT_PTR result = ::DialogBoxParamW(g_hModule, MAKEINTRESOURCEW(IDD_SIM_SETTINGS), parent, &SettingsProc, 0);
    return result == IDOK || result == IDCANCEL ? static_cast<int>(result) : TK_ERROR;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_hModule = instance;
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
