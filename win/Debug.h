#pragma once
// Diagnostic lines for the debugger output; nothing is written to files.
namespace win {
void DebugOut(const wchar_t* format, ...);
}
