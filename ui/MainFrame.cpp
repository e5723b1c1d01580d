#include "ui/MainFrame.h"

#include "ui/FrameMessages.h"
#include "win/Strings.h"

bool CMainFrame::Create() {
    constexpr DWORD kFrameStyle = WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX |
                                  WS_MAXIMIZEBOX;
    if (!CreateEx(0, kMainWindowClass, L"Kavendor", kFrameStyle, CW_USEDEFAULT, CW_USEDEFAULT, 760, 540, nullptr,
                  nullptr))
        return false;
    // A second instance, or the shell at a lower integrity level, must still reach the window.
    using FilterFn = BOOL(WINAPI*)(UINT, DWORD);
    if (HMODULE user = ::GetModuleHandleW(L"user32")) {
        if (auto filter = reinterpret_cast<FilterFn>(
                reinterpret_cast<void*>(::GetProcAddress(user, "ChangeWindowMessageFilter")))) {
            for (UINT message : {74u, WM_SHOW_AND_SCAN, WM_REMOTE_CLOSE, 274u, 563u, 73u}) filter(message, 1);
        }
    }
    SetStatus(L"Ready");
    return true;
}

void CMainFrame::SetStatus(std::wstring text) {
    m_strStatus = std::move(text);
    ::SetWindowTextW(m_hWnd, (L"Kavendor - " + m_strStatus).c_str());
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CMainFrame::StartScan(const std::wstring& filter) {
    SetStatus(filter.empty() ? std::wstring(L"Scanning all extensions") : L"Scanning " + filter);
}

void CMainFrame::Restore() {
    if (::IsIconic(m_hWnd)) ::ShowWindow(m_hWnd, SW_RESTORE);
    ::ShowWindow(m_hWnd, SW_SHOW);
    ::SetForegroundWindow(m_hWnd);
}

void CMainFrame::Paint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    ::FillRect(dc, &client, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    ::SetBkMode(dc, TRANSPARENT);
    ::DrawTextW(dc, m_strStatus.c_str(), static_cast<int>(m_strStatus.size()), &client,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    ::EndPaint(m_hWnd, &ps);
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COPYDATA: {
        // The extension arrives as a zero-terminated wide string; its size is checked before use.
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data && data->lpData && data->cbData >= sizeof(wchar_t)) {
            const auto* text = static_cast<const wchar_t*>(data->lpData);
            size_t chars = data->cbData / sizeof(wchar_t);
            std::wstring filter(text, wcsnlen(text, chars));
            ::SendMessageW(m_hWnd, WM_SHOW_AND_SCAN, reinterpret_cast<WPARAM>(filter.c_str()), 0);
        }
        return TRUE;
    }
    case WM_SHOW_AND_SCAN: {
        Restore();
        if (!::IsWindowEnabled(m_hWnd)) return 0;
        const auto* filter = reinterpret_cast<const wchar_t*>(wParam);
        StartScan(filter ? filter : L"");
        return 0;
    }
    case WM_REMOTE_CLOSE:
        m_bForceClose = true;
        ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
        return 0;
    case WM_CLOSE:
        ::DestroyWindow(m_hWnd);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    case WM_PAINT:
        Paint();
        return 0;
    default:
        return DefaultProc(message, wParam, lParam);
    }
}
