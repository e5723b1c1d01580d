#include "tests/update/TorkTestSupport.h"

#include <sstream>

#include "win/Paths.h"
#include "win/Strings.h"

namespace torktest {

namespace {
CCallbackRecorder* g_pRecorder = nullptr;
}

std::wstring BuildOutput(const std::wstring& relative) {
    std::wstring joined = win::JoinPath(win::FolderOf(win::ModuleFilePath()), relative);
    wchar_t full[MAX_PATH * 2] = {};
    DWORD length = ::GetFullPathNameW(joined.c_str(), MAX_PATH * 2, full, nullptr);
    return length > 0 && length < MAX_PATH * 2 ? std::wstring(full, length) : joined;
}

namespace {
struct WindowSearch {
    const std::wstring* title;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM lParam) {
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    wchar_t text[256] = {};
    ::GetWindowTextW(hwnd, text, 256);
    if (*search->title != text || !::IsWindowVisible(hwnd)) return TRUE;
    search->found = hwnd;
    return FALSE;
}
}  // namespace

HWND FindThreadWindow(DWORD threadId, const std::wstring& title) {
    WindowSearch search{&title, nullptr};
    ::EnumThreadWindows(threadId, &MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring FullLibrary() { return BuildOutput(L"..\\..\\update\\tork3sim\\Tork3.dll"); }
std::wstring PartialLibrary() { return BuildOutput(L"Tork3_partial.dll"); }

CLibraryEnvironment::CLibraryEnvironment(const std::wstring& scenario) : m_strLog(m_folder.File(L"calls.log")) {
    ::SetEnvironmentVariableW(L"KV_TORK3_LOG", m_strLog.c_str());
    ::SetEnvironmentVariableW(L"KV_TORK3_SETTINGS_KEY", SettingsKey().c_str());
    SetScenario(scenario);
}

CLibraryEnvironment::~CLibraryEnvironment() {
    ::SetEnvironmentVariableW(L"KV_TORK3_LOG", nullptr);
    ::SetEnvironmentVariableW(L"KV_TORK3_SETTINGS_KEY", nullptr);
    ::SetEnvironmentVariableW(L"KV_TORK3_SCENARIO", nullptr);
}

void CLibraryEnvironment::SetScenario(const std::wstring& scenario) {
    ::SetEnvironmentVariableW(L"KV_TORK3_SCENARIO", scenario.empty() ? nullptr : scenario.c_str());
}

std::vector<std::wstring> CLibraryEnvironment::CallLog() const {
    std::vector<std::wstring> lines;
    std::wistringstream stream(win::Utf8ToWide(kvtest::ReadFileBytes(m_strLog)));
    std::wstring line;
    while (std::getline(stream, line)) lines.push_back(line);
    return lines;
}

CCallbackRecorder::CCallbackRecorder() : m_hSignal(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    g_pRecorder = this;
}

CCallbackRecorder::~CCallbackRecorder() {
    if (g_pRecorder == this) g_pRecorder = nullptr;
}

TKCallbackRecord CCallbackRecorder::Record() { return TKCallbackRecord{&CCallbackRecorder::Callback, nullptr}; }

int __cdecl CCallbackRecorder::Callback(HWND, int code, void* data) {
    CCallbackRecorder* self = g_pRecorder;
    if (!self) return 1;
    CallbackEvent event;
    event.code = code;
    event.threadId = ::GetCurrentThreadId();
    if (code == TK_CB_ROW && data) {
        const auto* row = static_cast<const TKRowRecord*>(data);
        event.row = row->nRow;
        event.product = row->pszProduct ? row->pszProduct : L"";
        event.status = row->nStatus;
        event.progress = row->nProgress;
    } else {
        event.value = reinterpret_cast<INT_PTR>(data);
    }
    std::lock_guard<std::mutex> lock(self->m_lock);
    self->m_events.push_back(event);
    if (!self->m_bSignalled && self->m_pfnSignalWhen && self->m_pfnSignalWhen(event)) {
        self->m_bSignalled = true;
        ::SetEvent(self->m_hSignal.get());
    }
    if (!self->m_bStopping && self->m_pfnStopWhen && self->m_pfnStopWhen(event)) self->m_bStopping = true;
    return self->m_bStopping ? 1 : 0;
}

bool CCallbackRecorder::WaitUntilStopped() {
    HANDLE stopEvent = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (const auto& event : m_events)
            if (event.code == TK_CB_STOP_EVENT) stopEvent = reinterpret_cast<HANDLE>(event.value);
    }
    return stopEvent && ::WaitForSingleObject(stopEvent, 60000) == WAIT_OBJECT_0;
}

std::vector<CallbackEvent> CCallbackRecorder::Events() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_events;
}

std::vector<std::vector<int>> CCallbackRecorder::StatusesByRow() const {
    std::vector<std::vector<int>> rows;
    int lastDownloading = -1;
    int lastInstalling = -1;
    for (const auto& event : Events()) {
        if (event.code == TK_CB_DELETE_ROW) rows.clear();
        if (event.code != TK_CB_ROW) continue;
        int index = event.row;
        if (index == TK_ROW_APPEND) {
            rows.emplace_back();
            index = static_cast<int>(rows.size()) - 1;
        } else if (index == TK_ROW_LAST_DOWNLOADING) {
            index = lastDownloading;
        } else if (index == TK_ROW_LAST_INSTALLING) {
            index = lastInstalling;
        }
        if (index < 0 || index >= static_cast<int>(rows.size())) {
            rows.push_back({-999});  // a reference to no row shows up as a row of its own
            continue;
        }
        if (event.status == TK_STATUS_DOWNLOADING) lastDownloading = index;
        if (event.status == TK_STATUS_INSTALLING) lastInstalling = index;
        if (event.status != TK_STATUS_UNCHANGED) rows[index].push_back(event.status);
    }
    return rows;
}

}  // namespace torktest
