#include "framework/Dialog.h"

#include <algorithm>
#include <vector>

namespace fw {

namespace {
thread_local std::vector<HWND> t_modeless;
}

void AddModelessDialog(HWND hwnd) { t_modeless.push_back(hwnd); }

void RemoveModelessDialog(HWND hwnd) {
    t_modeless.erase(std::remove(t_modeless.begin(), t_modeless.end(), hwnd), t_modeless.end());
}

bool RouteDialogMessage(MSG& msg) {
    for (HWND dialog : t_modeless)
        if (::IsWindow(dialog) && ::IsDialogMessageW(dialog, &msg)) return true;
    return false;
}

CDialogBase::CDialogBase(UINT templateId, HINSTANCE instance)
    : m_nTemplateId(templateId), m_hInstance(instance ? instance : ::GetModuleHandleW(nullptr)) {}

CDialogBase::~CDialogBase() {
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
        RemoveModelessDialog(m_hWnd);
        ::DestroyWindow(m_hWnd);
    }
}

INT_PTR CDialogBase::DoModal(HWND parent) {
    m_bModal = true;
    return ::DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(m_nTemplateId), parent, &CDialogBase::StaticDialogProc,
                             reinterpret_cast<LPARAM>(this));
}

bool CDialogBase::Create(HWND parent) {
    m_bModal = false;
    HWND hwnd = ::CreateDialogParamW(m_hInstance, MAKEINTRESOURCEW(m_nTemplateId), parent,
                                     &CDialogBase::StaticDialogProc, reinterpret_cast<LPARAM>(this));
    if (!hwnd) return false;
    AddModelessDialog(hwnd);
    return true;
}

void CDialogBase::EndDialog(INT_PTR result) {
    if (!m_hWnd) return;
    if (m_bModal)
        ::EndDialog(m_hWnd, result);
    else
        ::DestroyWindow(m_hWnd);
}

std::wstring CDialogBase::GetDlgItemText(int id) const {
    HWND control = GetDlgItem(id);
    if (!control) return {};
    int length = ::GetWindowTextLengthW(control);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = ::GetWindowTextW(control, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(got, 0)));
    return text;
}

bool CDialogBase::OnCommand(int id, int, HWND) {
    if (id == IDOK) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

bool CDialogBase::OnMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

INT_PTR CDialogBase::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result = 0;
    if (OnMessage(message, wParam, lParam, result)) return result;
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK CDialogBase::StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialogBase* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialogBase*>(lParam);
        dialog->m_hWnd = hwnd;
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    } else {
        dialog = reinterpret_cast<CDialogBase*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!dialog) return FALSE;
    INT_PTR result = FALSE;
    try {
        result = dialog->DialogProc(message, wParam, lParam);
    } catch (...) {
        result = FALSE;
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        if (!dialog->m_bModal) RemoveModelessDialog(hwnd);
        dialog->m_hWnd = nullptr;
        dialog->OnFinalMessage();
    }
    return result;
}

}  // namespace fw
