#include "noapp/NoApp.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>

#include "noapp/NoAppDlg.h"
#include "win/ComPtr.h"
#include "win/Paths.h"
#include "win/Strings.h"
#include "win/UniqueHandle.h"

bool CShellLauncher::Open(const std::wstring& file, const std::wstring& parameters) {
    win::ComInit com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    HINSTANCE result = ::ShellExecuteW(nullptr, L"Open", file.c_str(), parameters.c_str(), L"", SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

bool CShellLauncher::Run(const std::wstring& file, const std::wstring& parameters) {
    win::ComInit com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOW;
    if (!::ShellExecuteExW(&info)) return false;
    // Nobody waits for the dialog's process; its handle is only closed.
    win::UniqueKernelHandle process(info.hProcess);
    return true;
}

CNoApp::CNoApp() : m_pLauncher(&m_shellLauncher) {}

void CNoApp::SetLauncher(INoAppLauncher* launcher) { m_pLauncher = launcher ? launcher : &m_shellLauncher; }

NoAppTarget CNoApp::ParseCommandLine(const std::wstring& commandLine) {
    NoAppTarget target;
    std::wstring path = commandLine;
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') path = path.substr(1, path.size() - 2);
    if (path.empty()) return target;

    // The file may be gone by now, and then it has no long form: the path is passed on as given.
    std::wstring longPath = win::LongPath(path);
    target.strFilePath = longPath.empty() ? path : longPath;

    size_t separator = target.strFilePath.find_last_of(L"\\/:");
    target.strFileName = separator == std::wstring::npos ? target.strFilePath : target.strFilePath.substr(separator + 1);
    if (target.strFileName.empty()) return target;

    // The shell's own rule for where an extension starts, so the handler agrees with the shell about
    // which files have none.
    const wchar_t* dot = ::PathFindExtensionW(target.strFileName.c_str());
    if (dot && *dot == L'.') target.strExtension = dot + 1;
    return target;
}

BOOL CNoApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), 0xFF};
    ::InitCommonControlsEx(&controls);
    m_strAppName = L"Kavendor";
    SetRegistryKey(L"Velmora");

    if (m_strCommandLine.empty()) return FALSE;
    NoAppTarget target = ParseCommandLine(m_strCommandLine);
    if (target.strFileName.empty()) return FALSE;
    m_strFilePath = target.strFilePath;
    m_strFileName = target.strFileName;
    m_strExtension = target.strExtension;

    if (!m_strExtension.empty()) {
        CNoAppDlg dialog(*this);
        dialog.DoModal();
    } else {
        ShowOpenWith();
    }
    // One request per process: no message loop follows.
    return FALSE;
}

bool CNoApp::StartMainProgram() {
    // Only a program is started: the value names Kavendor.exe, and anything else written there
    // (a document, a folder) is not opened on the user's behalf.
    std::wstring program = GetProfileString(L"InstallPath");
    if (program.size() < 5 || !win::EqualsNoCase(program.substr(program.size() - 4), L".exe")) return false;
    return m_pLauncher->Open(program, m_strFilePath);
}

bool CNoApp::ShowOpenWith() {
    std::wstring program = OpenWithProgram();
    if (program.empty() || m_strFilePath.empty()) return false;
    return m_pLauncher->Run(program, OpenWithParameters(m_strFilePath));
}

std::wstring CNoApp::OpenWithProgram() {
    wchar_t folder[MAX_PATH] = {};
    UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return win::JoinPath(folder, L"rundll32.exe");
}

std::wstring CNoApp::OpenWithParameters(const std::wstring& filePath) {
    return L"shell32.dll,OpenAs_RunDLL " + filePath;
}
