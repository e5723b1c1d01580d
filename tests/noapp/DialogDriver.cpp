#include "tests/noapp/DialogDriver.h"

#include <vector>

namespace noapptest {

namespace {
struct FindState {
    DWORD processId;
    DWORD threadId;
    HWND found;
};

BOOL CALLBACK FindProc(HWND hwnd, LPARAM lParam) {
    auto* state = reinterpret_cast<FindState*>(lParam);
    DWORD processId = 0;
    DWORD threadId = ::GetWindowThreadProcessId(hwnd, &processId);
    if (state->threadId ? threadId != state->threadId : processId != state->processId) return TRUE;
    wchar_t title[128] = {};
    ::GetWindowTextW(hwnd, title, 128);
    if (std::wstring(title) != kDialogTitle || !::IsWindowVisible(hwnd)) return TRUE;
    state->found = hwnd;
    return FALSE;
}
}  // namespace

HWND FindHandlerDialog(DWORD processId, DWORD threadId) {
    FindState state{processId, threadId, nullptr};
    ::EnumWindows(&FindProc, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

bool WaitFor(const std::function<bool()>& done, DWORD limitMs) {
    ULONGLONG start = ::GetTickCount64();
    for (;;) {
        if (done()) return true;
        if (::GetTickCount64() - start > limitMs) return false;
        ::Sleep(20);
    }
}

void PlayAction(HWND dialog, DialogAction action) {
    switch (action) {
    case DialogAction::ChooseKavendor:
        ::SendMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        break;
    case DialogAction::ChooseWindows:
        ::SendMessageW(::GetDlgItem(dialog, 1004), BM_CLICK, 0, 0);
        ::SendMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        break;
    case DialogAction::Cancel:
        ::SendMessageW(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
        break;
    case DialogAction::CloseBox:
        ::SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    }
}

std::wstring ControlText(HWND dialog, int id) {
    HWND control = ::GetDlgItem(dialog, id);
    if (!control) return L"<no control>";
    std::vector<wchar_t> text(4096);
    int length = ::GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
    return std::wstring(text.data(), static_cast<size_t>(length > 0 ? length : 0));
}

}  // namespace noapptest
