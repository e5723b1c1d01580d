#pragma once
// The main program's application object: single instance, administrator check, product settings,
// command line, then a one-shot mode or the main window and its message loop.
#include <memory>
#include <string>

#include "app/CommandLine.h"
#include "app/InstallMode.h"
#include "framework/WinApp.h"
#include "win/UniqueHandle.h"

class CMainFrame;
class CSchedulerAppTasks;

// Registered before the application starts; the tray icon listens for it.
extern const UINT g_uTaskbarCreatedMessage;

class CKVApp : public fw::CWinApp {
public:
    CKVApp();
    ~CKVApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;

    std::wstring m_strAppFolder;
    UINT m_nRunCount = 0;
    UINT m_nRunCountReg = 0;
    BOOL m_bMonitorEnabled = 1;
    BOOL m_bPromptForEmailPending = 0;

    // The environment of the one-shot modes (production registry roots and this profile).
    AppEnvironment Environment() const;

private:
    bool RegisterMainWindowClass();
    static bool UserIsAdministrator();
    static std::wstring CurrentFolder();
    void Forward(HWND runningInstance, const CommandLineRequest& request) const;
    BOOL NormalStart(CommandLineRequest request);

    win::UniqueKernelHandle m_hInstanceMutex;
    std::unique_ptr<CSchedulerAppTasks> m_pTasks;
    std::unique_ptr<CMainFrame> m_pMainFrame;
};

CKVApp& GetKVApp();
