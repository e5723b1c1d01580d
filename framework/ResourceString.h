#pragma once
#include <windows.h>

#include <string>

namespace fw {
// Text of a string-table entry of `module` (the program when null); empty when absent.
std::wstring LoadResString(UINT id, HINSTANCE module = nullptr);
}
