#pragma once
// Window base: binds a C++ object to its HWND and dispatches messages to a virtual handler.
// Every window created through CreateEx is subclassed while it is created (a thread-local CBT
// hook), so the object sees WM_NCCREATE and WM_CREATE whatever window class it uses, including
// classes registered with DefWindowProc or the system's control classes. The binding is removed
// at WM_NCDESTROY, the last message, so no late message reaches an object that is gone.
#include <windows.h>

namespace fw {

class CWindow {
public:
    CWindow() = default;
    CWindow(const CWindow&) = delete;
    CWindow& operator=(const CWindow&) = delete;
    virtual ~CWindow();

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }

    bool CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x, int y, int width,
                  int height, HWND parent, HMENU menuOrId, HINSTANCE instance = nullptr);
    // Binds an existing window (a dialog's control, for example) by subclassing it.
    bool SubclassWindow(HWND hwnd);
    bool DestroyWindow();

    // Registers a class whose procedure dispatches to CWindow objects (once per class name).
    static bool RegisterWindowClass(const WNDCLASSEXW& prototype);
    // The object bound to a window, or null.
    static CWindow* FromHandle(HWND hwnd);

protected:
    // Handles one message; the default passes it to the window's original procedure.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Called after WM_NCDESTROY, when the window is gone; the object may delete itself here.
    virtual void OnFinalMessage() {}

private:
    static LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam);
    void Bind(HWND hwnd);

    WNDPROC m_pfnSuper = nullptr;
};

}  // namespace fw
