#pragma once
// The main window. It receives the requests of a second instance (scan all, scan one extension,
// close), runs scans through the engine and shows what the program is doing.
#include <string>

#include "engine/ScanEngine.h"
#include "framework/Window.h"

class CMainFrame : public fw::CWindow, public CKVScanEngineCallbacks {
public:
    // Creates the window of the registered main class, hidden; the application decides when to show it.
    bool Create();
    // Starts a scan; an empty filter scans all extensions. A request while a scan runs cancels it
    // and starts the new one when the running one has reported.
    void StartScan(const std::wstring& filter);
    const std::wstring& StatusText() const { return m_strStatus; }

    // Engine callbacks: completion is sent, so the result list stays valid while it is shown;
    // progress is posted.
    int OnScanComplete(ExtensionList* pList, BOOL bCompleted) override;
    int OnFixComplete(ExtensionList* pList, BOOL bCompleted) override;
    int OnScanProgress(IFileExtension* pExtension) override;
    int OnExtensionsChanged(ExtensionChangeMap* pChanges) override;
    int OnAssociationsChanged() override;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    static std::wstring Describe(const std::wstring& filter);
    void SetStatus(std::wstring text);
    void Restore();
    void Paint();
    void ShowScanResults(const ExtensionList* list, bool completed);

    std::wstring m_strStatus;
    std::wstring m_strScanFilter;
    bool m_bScanActive = false;
    bool m_bRescanPending = false;
    bool m_bForceClose = false;
    size_t m_nProgress = 0;
};
