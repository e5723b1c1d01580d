#pragma once
// The main window. It receives the requests of a second instance (scan all, scan one extension,
// close) and shows what the program is doing.
#include <string>

#include "framework/Window.h"

class CMainFrame : public fw::CWindow {
public:
    // Creates the window of the registered main class, hidden; the application decides when to show it.
    bool Create();
    // Starts a scan; an empty filter scans all extensions.
    void StartScan(const std::wstring& filter);
    const std::wstring& StatusText() const { return m_strStatus; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void SetStatus(std::wstring text);
    void Restore();
    void Paint();

    std::wstring m_strStatus;
    bool m_bForceClose = false;
};
