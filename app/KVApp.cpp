#include "app/KVApp.h"

#include <commctrl.h>
#include <ole2.h>

#include "app/ProductSettings.h"
#include "app/SchedulerAppTasks.h"
#include "app/res/StringIds.h"
#include "engine/Report.h"
#include "engine/ScanEngine.h"
#include "monitor/ExtensionMonitor.h"
#include "framework/ResourceString.h"
#include "ui/FrameMessages.h"
#include "ui/MainFrame.h"
#include "win/Paths.h"
#include "win/Platform.h"

#include <shlwapi.h>

const UINT g_uTaskbarCreatedMessage = ::RegisterWindowMessageW(L"TaskbarCreated");

namespace {
constexpr int kMainIconId = 128;
}

CKVApp::CKVApp() = default;
CKVApp::~CKVApp() = default;

std::wstring CKVApp::CurrentFolder() {
    DWORD needed = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(needed, L'\0');
    DWORD length = needed ? ::GetCurrentDirectoryW(needed, folder.data()) : 0;
    folder.resize(length < needed ? length : 0);
    return folder;
}

CKVApp& GetKVApp() { return *static_cast<CKVApp*>(fw::GetApp()); }

AppEnvironment CKVApp::Environment() const {
    AppEnvironment env;
    env.profile = &Profile();
    env.programFolder = m_strAppFolder;
    env.programPath = win::ModuleFilePath();
    env.rightClickVerb = fw::LoadResString(IDS_RIGHTCLICK_VERB);
    env.wow64 = win::IsWow64();
    env.tasks = m_pTasks.get();
    return env;
}

bool CKVApp::RegisterMainWindowClass() {
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = m_hInstance;
    wc.hIcon = ::LoadIconW(m_hInstance, MAKEINTRESOURCEW(kMainIconId));
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kMainWindowClass;
    return ::RegisterClassW(&wc) != 0;
}

bool CKVApp::UserIsAdministrator() {
    using IsUserAdminFn = BOOL(WINAPI*)();
    win::UniqueModule setupapi(::LoadLibraryW(L"setupapi.dll"));
    if (!setupapi) return false;
    auto isUserAdmin =
        reinterpret_cast<IsUserAdminFn>(reinterpret_cast<void*>(::GetProcAddress(setupapi.get(), "IsUserAdmin")));
    return isUserAdmin && isUserAdmin();
}

BOOL CKVApp::InitInstance() {
    // Relative paths on the command line mean the folder the program was started in.
    const std::wstring startFolder = CurrentFolder();
    m_strAppName = fw::LoadResString(IDS_APP_NAME);
    SetRegistryKey(L"Velmora");

    HWND runningInstance = nullptr;
    const std::wstring mutexName = fw::LoadResString(IDS_MUTEX_NAME);
    m_hInstanceMutex.reset(::CreateMutexW(nullptr, TRUE, mutexName.c_str()));
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        runningInstance = ::FindWindowW(kMainWindowClass, nullptr);
        m_hInstanceMutex.reset();
        if (!runningInstance) return FALSE;
    }

    if (!RegisterMainWindowClass()) return FALSE;

    ::CoInitialize(nullptr);
    ::OleInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{8, 0xFF};
    ::InitCommonControlsEx(&controls);

    if (!UserIsAdministrator()) {
        ::MessageBoxW(nullptr, fw::LoadResString(IDS_ADMIN_REQUIRED).c_str(), fw::LoadResString(IDS_APP_NAME).c_str(),
                      MB_OK);
        return FALSE;
    }

    m_strAppFolder = win::FolderOf(win::ModuleFilePath());
    ::SetCurrentDirectoryW(m_strAppFolder.c_str());

    GetProductSettings() = LoadSettingsXml(win::JoinPath(m_strAppFolder, L"settings.xml"),
                                           GetProfileString(L"AffiliateID", L"0"));

    const ProductSettings& product = GetProductSettings();
    m_pTasks = std::make_unique<CSchedulerAppTasks>(product.APPNAME, product.EXENAME, m_strAppFolder, Profile());

    CommandLineRequest request = ParseCommandLine(m_strCommandLine);

    if (request.install) {
        RunInstallMode(Environment());
        return FALSE;
    }
    if (request.uninstall) {
        RunUninstallMode(Environment());
        return FALSE;
    }
    if (request.report) {
        // A scan without any window, whatever instance may be running.
        std::wstring path = request.reportPath;
        if (::PathIsRelativeW(path.c_str())) path = win::JoinPath(startFolder, path);
        m_nExitCode = RunHeadlessReport(path);
        return FALSE;
    }
    if (runningInstance) {
        Forward(runningInstance, request);
        return FALSE;
    }
    if (request.shutdown) return FALSE;
    return NormalStart(std::move(request));
}

void CKVApp::Forward(HWND runningInstance, const CommandLineRequest& request) const {
    if (request.scan) {
        if (!request.extension.empty()) {
            COPYDATASTRUCT data{};
            data.dwData = 0;
            data.cbData = static_cast<DWORD>((request.extension.size() + 1) * sizeof(wchar_t));
            data.lpData = const_cast<wchar_t*>(request.extension.c_str());
            ::SendMessageW(runningInstance, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
        } else {
            ::SendMessageW(runningInstance, WM_SHOW_AND_SCAN, 0, 0);
        }
    } else if (request.shutdown) {
        ::PostMessageW(runningInstance, WM_REMOTE_CLOSE, 0, 0);
    } else {
        ::ShowWindow(runningInstance, SW_SHOW);
        ::SendMessageW(runningInstance, WM_SYSCOMMAND, SC_RESTORE, 0);
        ::SetForegroundWindow(runningInstance);
    }
}

BOOL CKVApp::NormalStart(CommandLineRequest request) {
    m_bPromptForEmailPending = 1;
    m_pMainFrame = std::make_unique<CMainFrame>();
    m_pMainWnd = m_pMainFrame.get();

    g_pScanEngine = new CKVScanEngine(m_pMainFrame.get());
    auto monitor = std::make_unique<CExtensionMonitor>();
    CExtensionMonitor* pMonitor = monitor.get();
    g_pScanEngine->AttachMonitor(std::move(monitor));

    m_bMonitorEnabled = GetProfileInt(L"MONITOR", m_bMonitorEnabled);
    if (m_bMonitorEnabled) {
        g_pScanEngine->m_bReportChanges = 1;
        pMonitor->SetEnabled(1);
    }

    if (!request.scan) {
        const std::wstring searched = GetProfileString(L"SearchedExtension", L"");
        if (!searched.empty()) {
            WriteProfileString(L"SearchedExtension", L"");
            request.extension = searched;
            request.scan = true;
        }
    }

    m_nRunCount = GetProfileInt(L"RunCount", 0) + 1;
    WriteProfileInt(L"RunCount", m_nRunCount);
    m_nRunCountReg = GetProfileInt(L"RunCountReg", 0) + 1;
    WriteProfileInt(L"RunCountReg", m_nRunCountReg);

    if (!m_pMainFrame->Create()) return FALSE;
    if (!request.tray || request.scan) {
        ::ShowWindow(m_pMainFrame->m_hWnd, SW_SHOW);
        ::UpdateWindow(m_pMainFrame->m_hWnd);
    }
    if (request.scan) m_pMainFrame->StartScan(request.extension);
    return TRUE;
}

int CKVApp::ExitInstance() {
    // The engine's destructor stops its worker threads before the window goes.
    delete g_pScanEngine;
    g_pScanEngine = nullptr;
    WriteProfileInt(L"MONITOR", m_bMonitorEnabled ? 1 : 0);
    m_pMainWnd = nullptr;
    m_pMainFrame.reset();
    ::OleUninitialize();
    ::CoUninitialize();
    return fw::CWinApp::ExitInstance();
}
