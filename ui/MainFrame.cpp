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

std::wstring CMainFrame::Describe(const std::wstring& filter) {
    return filter.empty() ? std::wstring(L"all extensions") : filter;
}

void CMainFrame::StartScan(const std::wstring& filter) {
    m_strScanFilter = filter;
    if (!g_pScanEngine) return;
    if (m_bScanActive) {
        // The running scan reports first; the new one starts then.
        m_bRescanPending = true;
        g_pScanEngine->CancelScan();
        SetStatus(L"Scanning " + Describe(filter));
        return;
    }
    m_nProgress = 0;
    if (g_pScanEngine->StartScan(filter)) {
        m_bScanActive = true;
        SetStatus(L"Scanning " + Describe(filter));
    } else {
        SetStatus(L"The scan of " + Describe(filter) + L" could not start");
    }
}

void CMainFrame::ShowScanResults(const ExtensionList* list, bool completed) {
    size_t problems = 0, needApplication = 0;
    if (list) {
        for (const IFileExtension* extension : *list) {
            const UINT status = extension->GetProblems();
            if (status == EXT_PROBLEM_NO_APPLICATION)
                ++needApplication;
            else if (status != 0)
                ++problems;
        }
    }
    SetStatus(win::Format(L"Scan of %ls %ls: %zu extension(s), %zu problem(s), %zu need an application",
                          Describe(m_strScanFilter).c_str(), completed ? L"complete" : L"cancelled",
                          list ? list->size() : size_t{0}, problems, needApplication));
}

int CMainFrame::OnScanComplete(ExtensionList* pList, BOOL bCompleted) {
    return static_cast<int>(::SendMessageW(m_hWnd, WM_SCAN_COMPLETE, reinterpret_cast<WPARAM>(pList), bCompleted));
}

int CMainFrame::OnFixComplete(ExtensionList* pList, BOOL bCompleted) {
    return static_cast<int>(::SendMessageW(m_hWnd, WM_FIX_COMPLETE, reinterpret_cast<WPARAM>(pList), bCompleted));
}

int CMainFrame::OnScanProgress(IFileExtension* pExtension) {
    ::PostMessageW(m_hWnd, WM_SCAN_PROGRESS, reinterpret_cast<WPARAM>(pExtension), 0);
    ::Sleep(20);
    return 0;
}

int CMainFrame::OnExtensionsChanged(ExtensionChangeMap* pChanges) {
    // Called on this window's thread, after a comparison of the monitor.
    if (!pChanges || pChanges->empty() || !m_hWnd) return 0;
    std::wstring names;
    for (const auto& [extension, changes] : *pChanges) names += (names.empty() ? L"" : L", ") + extension;
    SetStatus(L"Association changes detected: " + names);
    return 0;
}

int CMainFrame::OnAssociationsChanged() { return 0; }

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
    case WM_SCAN_PROGRESS:
        // Only counted: the record may belong to a scan that has already been replaced.
        ++m_nProgress;
        return 0;
    case WM_SCAN_COMPLETE: {
        m_bScanActive = false;
        if (m_bRescanPending) {
            m_bRescanPending = false;
            StartScan(m_strScanFilter);
        } else {
            ShowScanResults(reinterpret_cast<const ExtensionList*>(wParam), lParam != 0);
        }
        return 0;
    }
    case WM_FIX_COMPLETE:
        return 0;
    case WM_REMOTE_CLOSE:
        m_bForceClose = true;
        ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
        return 0;
    case WM_CLOSE:
        if (m_bScanActive && g_pScanEngine) g_pScanEngine->CancelScan();
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
