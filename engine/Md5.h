#pragma once
// MD5 digest through the system's cryptography provider.
#include <string>
#include <string_view>

// The digest of the bytes as 32 lower-case hexadecimal digits; empty when the provider fails.
std::wstring Md5Hex(std::string_view bytes);
