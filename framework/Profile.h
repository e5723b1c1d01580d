#pragma once
// Per-user profile values of an application: one registry key (Software\<company>\<app> under
// the current-user root), values directly in it. Reads that fail yield the caller's default;
// writes report success.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace fw {

class CProfile {
public:
    CProfile() = default;
    CProfile(HKEY root, std::wstring keyPath) : m_hRoot(root), m_strKeyPath(std::move(keyPath)) {}

    void SetLocation(HKEY root, std::wstring keyPath) {
        m_hRoot = root;
        m_strKeyPath = std::move(keyPath);
    }
    HKEY Root() const { return m_hRoot; }
    const std::wstring& KeyPath() const { return m_strKeyPath; }

    // A 32-bit number; values of any other type or size read as the default.
    UINT GetInt(const wchar_t* name, UINT defaultValue) const;
    bool WriteInt(const wchar_t* name, UINT value) const;
    // A string (REG_SZ or REG_EXPAND_SZ); other types read as the default.
    std::wstring GetString(const wchar_t* name, const std::wstring& defaultValue = {}) const;
    bool WriteString(const wchar_t* name, const std::wstring& value) const;
    std::optional<std::vector<BYTE>> GetBinary(const wchar_t* name) const;
    bool WriteBinary(const wchar_t* name, const void* data, DWORD bytes) const;

private:
    HKEY m_hRoot = HKEY_CURRENT_USER;
    std::wstring m_strKeyPath;
};

}  // namespace fw
