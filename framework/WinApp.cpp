#include "framework/WinApp.h"

#include "framework/Dialog.h"

namespace fw {

namespace {
CWinApp* g_pApp = nullptr;
}

CWinApp* GetApp() { return g_pApp; }

CWinApp::CWinApp() { g_pApp = this; }

CWinApp::~CWinApp() {
    if (g_pApp == this) g_pApp = nullptr;
}

void CWinApp::SetRegistryKey(const std::wstring& company) {
    m_strCompany = company;
    m_profile.SetLocation(m_hProfileRoot, L"Software\\" + company + L"\\" + m_strAppName);
}

void CWinApp::SetProfileRoot(HKEY currentUserRoot) {
    m_hProfileRoot = currentUserRoot;
    if (!m_strCompany.empty()) SetRegistryKey(m_strCompany);
}

int CWinApp::Run() {
    MSG msg;
    for (;;) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        if (RouteDialogMessage(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (msg.message == WM_QUIT) m_nExitCode = static_cast<int>(msg.wParam);
    return ExitInstance();
}

int CWinApp::Main(HINSTANCE instance, const wchar_t* commandLine, int showCommand) {
    m_hInstance = instance;
    m_strCommandLine = commandLine ? commandLine : L"";
    m_nShowCommand = showCommand;
    if (!InitInstance()) return m_nExitCode;
    return Run();
}

std::wstring CommandLineTail(const wchar_t* fullCommandLine) {
    if (!fullCommandLine) return {};
    const wchar_t* p = fullCommandLine;
    // Skip the program name, quoted or not, then the blanks after it.
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p == L'"') ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return p;
}

}  // namespace fw
