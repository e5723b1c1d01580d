#include "noapp/NoAppDlg.h"

#include "noapp/NoApp.h"
#include "noapp/res/resource.h"

CNoAppDlg::CNoAppDlg(CNoApp& app) : fw::CDialogBase(IDD_NOAPP_DIALOG), m_app(app) {}

BOOL CNoAppDlg::OnInitDialog() {
    m_hIcon.reset(static_cast<HICON>(::LoadImageW(m_hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                  ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), 0)));
    m_hSmallIcon.reset(static_cast<HICON>(::LoadImageW(m_hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                       ::GetSystemMetrics(SM_CXSMICON),
                                                       ::GetSystemMetrics(SM_CYSMICON), 0)));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon.get()));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon.get()));

    SetDlgItemText(IDC_FILENAME, m_app.m_strFileName);
    ::CheckRadioButton(m_hWnd, IDC_USE_KAVENDOR, IDC_USE_WINDOWS, IDC_USE_KAVENDOR);
    return TRUE;
}

void CNoAppDlg::OnOK() {
    ::ShowWindow(m_hWnd, SW_HIDE);
    if (IsDlgButtonChecked(IDC_USE_KAVENDOR))
        m_app.StartMainProgram();
    else
        m_app.ShowOpenWith();
    EndDialog(IDOK);
}

bool CNoAppDlg::OnMessage(UINT message, WPARAM, LPARAM, INT_PTR& result) {
    switch (message) {
    case WM_PAINT:
        if (!::IsIconic(m_hWnd)) return false;
        OnPaintIconic();
        result = TRUE;
        return true;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<INT_PTR>(m_hIcon.get());
        return true;
    case WM_DESTROY:
        // The window must not keep icons that are destroyed with this object.
        ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, 0);
        ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, 0);
        return false;
    default:
        return false;
    }
}

void CNoAppDlg::OnPaintIconic() {
    PAINTSTRUCT paint{};
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    ::SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    if (m_hIcon) ::DrawIcon(dc, x, y, m_hIcon.get());
    ::EndPaint(m_hWnd, &paint);
}
