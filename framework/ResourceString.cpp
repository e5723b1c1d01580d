#include "framework/ResourceString.h"

namespace fw {
std::wstring LoadResString(UINT id, HINSTANCE module) {
    if (!module) module = ::GetModuleHandleW(nullptr);
    const wchar_t* text = nullptr;
    // With a zero buffer size LoadStringW hands out a read-only pointer into the resource.
    int length = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return {};
    return std::wstring(text, static_cast<size_t>(length));
}
}  // namespace fw
