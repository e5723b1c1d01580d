#pragma once
// Messages and names by which the main window is reached, also from a second instance.
#include <windows.h>

constexpr UINT WM_SCAN_COMPLETE = 0x401;
constexpr UINT WM_FIX_COMPLETE = 0x402;
constexpr UINT WM_SCAN_PROGRESS = 0x403;
constexpr UINT WM_TRAY_NOTIFY = 0x40A;
constexpr UINT WM_NEWS_CLOSED = 0x4C8;
constexpr UINT WM_SHOW_AND_SCAN = 0x68F;
constexpr UINT WM_REMOTE_CLOSE = 0x6BC;

// Class of the main window; a second instance finds the running one by it.
constexpr const wchar_t kMainWindowClass[] = L"Kavendor_F4874675-710C-4FD5-A6EE-D27C59E24ABC";
