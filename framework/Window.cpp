#include "framework/Window.h"

namespace fw {

namespace {
const wchar_t kObjectProperty[] = L"KvWindowObject";
thread_local CWindow* t_pCreating = nullptr;
thread_local HHOOK t_hCreationHook = nullptr;
}  // namespace

CWindow::~CWindow() {
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        // Unbind first so destruction messages do not reach a half-destroyed object.
        ::RemovePropW(m_hWnd, kObjectProperty);
        if (m_pfnSuper) ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
        ::DestroyWindow(m_hWnd);
    }
}

CWindow* CWindow::FromHandle(HWND hwnd) {
    return hwnd ? static_cast<CWindow*>(::GetPropW(hwnd, kObjectProperty)) : nullptr;
}

void CWindow::Bind(HWND hwnd) {
    m_hWnd = hwnd;
    ::SetPropW(hwnd, kObjectProperty, this);
    auto current = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
    if (current == &CWindow::StaticWindowProc) {
        m_pfnSuper = ::DefWindowProcW;
    } else {
        m_pfnSuper = current;
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWindow::StaticWindowProc));
    }
}

LRESULT CALLBACK CWindow::CreationHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && t_pCreating) {
        CWindow* window = t_pCreating;
        t_pCreating = nullptr;  // only the first window created belongs to the object
        window->Bind(reinterpret_cast<HWND>(wParam));
    }
    return ::CallNextHookEx(t_hCreationHook, code, wParam, lParam);
}

bool CWindow::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x, int y,
                       int width, int height, HWND parent, HMENU menuOrId, HINSTANCE instance) {
    if (m_hWnd) return false;
    if (!instance) instance = ::GetModuleHandleW(nullptr);
    HHOOK hook = ::SetWindowsHookExW(WH_CBT, &CWindow::CreationHook, nullptr, ::GetCurrentThreadId());
    if (!hook) return false;
    HHOOK outerHook = t_hCreationHook;
    CWindow* outerCreating = t_pCreating;
    t_hCreationHook = hook;
    t_pCreating = this;
    HWND hwnd = ::CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, menuOrId, instance,
                                  this);
    t_pCreating = outerCreating;
    t_hCreationHook = outerHook;
    ::UnhookWindowsHookEx(hook);
    if (!hwnd) {
        m_hWnd = nullptr;
        return false;
    }
    return true;
}

bool CWindow::SubclassWindow(HWND hwnd) {
    if (m_hWnd || !hwnd || FromHandle(hwnd)) return false;
    Bind(hwnd);
    return true;
}

bool CWindow::DestroyWindow() { return m_hWnd && ::DestroyWindow(m_hWnd); }

bool CWindow::RegisterWindowClass(const WNDCLASSEXW& prototype) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    HINSTANCE instance = prototype.hInstance ? prototype.hInstance : ::GetModuleHandleW(nullptr);
    if (::GetClassInfoExW(instance, prototype.lpszClassName, &existing)) return true;
    WNDCLASSEXW wc = prototype;
    wc.cbSize = sizeof wc;
    wc.hInstance = instance;
    wc.lpfnWndProc = &CWindow::StaticWindowProc;
    return ::RegisterClassExW(&wc) != 0;
}

LRESULT CWindow::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcW(m_pfnSuper ? m_pfnSuper : ::DefWindowProcW, m_hWnd, message, wParam, lParam);
}

LRESULT CWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefaultProc(message, wParam, lParam);
}

LRESULT CALLBACK CWindow::StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWindow* window = FromHandle(hwnd);
    if (!window) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    try {
        result = window->WindowProc(message, wParam, lParam);
    } catch (...) {
        // No exception may unwind through user32.
        result = 0;
    }
    if (message == WM_NCDESTROY) {
        ::RemovePropW(hwnd, kObjectProperty);
        if (window->m_pfnSuper)
            ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(window->m_pfnSuper));
        window->m_hWnd = nullptr;
        window->OnFinalMessage();
    }
    return result;
}

}  // namespace fw
