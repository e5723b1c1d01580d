#pragma once
// The question of the unknown-file handler: hand the file to Kavendor or to Windows.
#include <windows.h>

#include "framework/Dialog.h"
#include "win/UniqueHandle.h"

class CNoApp;

class CNoAppDlg : public fw::CDialogBase {
public:
    explicit CNoAppDlg(CNoApp& app);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    void OnPaintIconic();

    CNoApp& m_app;
    win::UniqueIcon m_hIcon;
    win::UniqueIcon m_hSmallIcon;
};
