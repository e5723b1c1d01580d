#include "win/Strings.h"

#include <cwchar>
#include <vector>

namespace win {

std::wstring ToLower(std::wstring_view text) {
    std::wstring result(text);
    if (!result.empty())
        ::CharLowerBuffW(result.data(), static_cast<DWORD>(result.size()));
    return result;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::string WideToCodePage(std::wstring_view text, UINT codePage) {
    if (text.empty()) return {};
    int bytes = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    if (bytes <= 0) return {};
    std::string result(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(), bytes, nullptr,
                          nullptr);
    return result;
}

std::wstring CodePageToWide(std::string_view text, UINT codePage) {
    if (text.empty()) return {};
    int chars = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (chars <= 0) return {};
    std::wstring result(static_cast<size_t>(chars), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(), chars);
    return result;
}

std::wstring FormatV(const wchar_t* format, va_list args) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int written = _vsnwprintf(buffer.data(), buffer.size(), format, copy);
        va_end(copy);
        if (written >= 0 && static_cast<size_t>(written) < buffer.size()) return std::wstring(buffer.data(), written);
        if (buffer.size() > (1u << 24)) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring Format(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring result = FormatV(format, args);
    va_end(args);
    return result;
}

}  // namespace win
