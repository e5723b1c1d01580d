#pragma once
// Dialog base for templates of the resource file, modal or modeless. The object binds at
// WM_INITDIALOG; notifications write DWLP_MSGRESULT through SetMessageResult; no exception
// leaves the dialog procedure.
#include <windows.h>

#include <string>

namespace fw {

class CDialogBase {
public:
    explicit CDialogBase(UINT templateId, HINSTANCE instance = nullptr);
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;
    virtual ~CDialogBase();

    HWND m_hWnd = nullptr;

    // Runs the dialog modally; returns the value passed to EndDialog, or -1 when it could not be created.
    INT_PTR DoModal(HWND parent = nullptr);
    // Creates the dialog modeless; it takes part in the application's dialog-message routing.
    bool Create(HWND parent = nullptr);
    void EndDialog(INT_PTR result);
    bool IsModal() const { return m_bModal; }

    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    std::wstring GetDlgItemText(int id) const;
    void SetDlgItemText(int id, const std::wstring& text) const { ::SetDlgItemTextW(m_hWnd, id, text.c_str()); }
    bool IsDlgButtonChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id) != BST_UNCHECKED; }
    void CheckDlgButton(int id, bool checked) const { ::CheckDlgButton(m_hWnd, id, checked ? BST_CHECKED : BST_UNCHECKED); }

protected:
    // Returns TRUE to let the system set the focus.
    virtual BOOL OnInitDialog() { return TRUE; }
    // A command from a control or menu; returns true when handled.
    virtual bool OnCommand(int id, int notifyCode, HWND control);
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Any message; returns true when handled, with `result` as the dialog procedure's answer.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);
    // Called after the window is gone.
    virtual void OnFinalMessage() {}
    void SetMessageResult(LRESULT result) const { ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result); }

    UINT m_nTemplateId;
    HINSTANCE m_hInstance;

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam);
    bool m_bModal = false;
};

// Modeless windows whose keyboard navigation the message loop must route (IsDialogMessage).
void AddModelessDialog(HWND hwnd);
void RemoveModelessDialog(HWND hwnd);
bool RouteDialogMessage(MSG& msg);

}  // namespace fw
