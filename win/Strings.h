#pragma once
// Text helpers: case folding, conversions between UTF-16 and byte encodings, printf-style
// formatting into std::wstring.
#include <windows.h>

#include <cstdarg>
#include <string>
#include <string_view>

namespace win {

std::wstring ToLower(std::wstring_view text);
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
std::string WideToCodePage(std::wstring_view text, UINT codePage);
std::wstring CodePageToWide(std::string_view text, UINT codePage);
inline std::string WideToUtf8(std::wstring_view text) { return WideToCodePage(text, CP_UTF8); }
inline std::wstring Utf8ToWide(std::string_view text) { return CodePageToWide(text, CP_UTF8); }
// printf-style formatting of any length.
std::wstring Format(const wchar_t* format, ...);
std::wstring FormatV(const wchar_t* format, va_list args);

}  // namespace win
