#include "win/Debug.h"

#include <windows.h>

#include "win/Strings.h"

namespace win {
void DebugOut(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring line = FormatV(format, args);
    va_end(args);
    ::OutputDebugStringW(line.c_str());
}
}  // namespace win
