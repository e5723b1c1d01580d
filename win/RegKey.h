#pragma once
// Owning registry key with reads that never trust the stored data: every read retries when the
// value grew (ERROR_MORE_DATA), checks the type, bounds the size and leaves outputs untouched on
// failure. Text is taken up to the first terminating zero or the end of the data, whichever comes
// first, so data without a terminator or with an odd byte count is read safely.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace win {

// Raw value: its registry type and bytes.
struct RegValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

class RegKey {
public:
    // Values larger than this are refused as unreasonable (the registry allows ~1 MB per value).
    static constexpr DWORD kMaxValueBytes = 16u * 1024u * 1024u;

    RegKey() noexcept = default;
    explicit RegKey(HKEY key) noexcept : m_key(key) {}
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    RegKey(RegKey&& other) noexcept;
    RegKey& operator=(RegKey&& other) noexcept;
    ~RegKey();

    // Opens an existing key. Returns the Win32 error; on failure the object holds no key.
    LONG Open(HKEY parent, const std::wstring& subKey, REGSAM access) noexcept;
    // Opens or creates a key; `created` tells whether it was new.
    LONG Create(HKEY parent, const std::wstring& subKey, REGSAM access, bool* created = nullptr) noexcept;
    void Close() noexcept;

    HKEY get() const noexcept { return m_key; }
    explicit operator bool() const noexcept { return m_key != nullptr; }
    HKEY release() noexcept;

    bool ValueExists(const wchar_t* name) const noexcept;
    // Any type, any size up to kMaxValueBytes.
    std::optional<RegValue> ReadRaw(const wchar_t* name) const;
    // REG_SZ, REG_EXPAND_SZ (not expanded) and the first string of REG_MULTI_SZ; `type` receives
    // the stored type. Other types fail.
    std::optional<std::wstring> ReadString(const wchar_t* name, DWORD* type = nullptr) const;
    // REG_DWORD (4 bytes) only.
    std::optional<DWORD> ReadDword(const wchar_t* name) const;
    // REG_QWORD (8 bytes) only.
    std::optional<uint64_t> ReadQword(const wchar_t* name) const;
    std::optional<std::vector<BYTE>> ReadBinary(const wchar_t* name) const;

    LONG WriteRaw(const wchar_t* name, DWORD type, const void* data, DWORD bytes) noexcept;
    LONG WriteString(const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ) noexcept;
    LONG WriteDword(const wchar_t* name, DWORD value) noexcept;
    LONG WriteQword(const wchar_t* name, uint64_t value) noexcept;
    LONG WriteBinary(const wchar_t* name, const void* data, DWORD bytes) noexcept;
    LONG DeleteValue(const wchar_t* name) noexcept;
    // Deletes an empty sub-key (no recursion).
    LONG DeleteSubKey(const std::wstring& subKey, REGSAM viewFlags = 0) noexcept;

    // Names of the direct sub-keys and values, in registry order. Enumeration stops quietly
    // at the first error, so keys removed meanwhile never break it.
    std::vector<std::wstring> SubKeyNames() const;
    std::vector<std::wstring> ValueNames() const;

private:
    HKEY m_key = nullptr;
};

// Text of raw registry data as the string types hold it: up to the first zero character or the
// end of the data; a trailing odd byte is ignored.
std::wstring RegDataToString(const BYTE* data, size_t bytes);

// Deletes a key and everything below it. Returns ERROR_SUCCESS, or the first error.
LONG DeleteKeyRecursive(HKEY parent, const std::wstring& subKey, REGSAM viewFlags = 0) noexcept;

}  // namespace win
