#pragma once
// Finds a dialog with the handler's title and plays a script on it from a helper thread, while the
// thread or process that owns the dialog runs its modal loop.
#include <windows.h>

#include <functional>
#include <string>

namespace noapptest {

inline constexpr wchar_t kDialogTitle[] = L"Kavendor - Manage File Extension";

// The visible dialog with the handler's title owned by `threadId` (or any thread of `processId`
// when threadId is 0); null when there is none.
HWND FindHandlerDialog(DWORD processId, DWORD threadId);

// Waits until `done` holds, checking every 20 ms, at most `limitMs`; returns whether it held.
bool WaitFor(const std::function<bool()>& done, DWORD limitMs = 30000);

// What a test does with the dialog.
enum class DialogAction { ChooseKavendor, ChooseWindows, Cancel, CloseBox };

// Performs the action by sending clicks as a user's would arrive.
void PlayAction(HWND dialog, DialogAction action);

// Text of a control of another thread's or process's dialog.
std::wstring ControlText(HWND dialog, int id);

}  // namespace noapptest
