#include "framework/Profile.h"

#include "win/RegKey.h"

namespace fw {

UINT CProfile::GetInt(const wchar_t* name, UINT defaultValue) const {
    win::RegKey key;
    if (m_strKeyPath.empty() || key.Open(m_hRoot, m_strKeyPath, KEY_READ) != ERROR_SUCCESS) return defaultValue;
    return key.ReadDword(name).value_or(defaultValue);
}

bool CProfile::WriteInt(const wchar_t* name, UINT value) const {
    win::RegKey key;
    if (m_strKeyPath.empty() || key.Create(m_hRoot, m_strKeyPath, KEY_READ | KEY_WRITE) != ERROR_SUCCESS) return false;
    return key.WriteDword(name, value) == ERROR_SUCCESS;
}

std::wstring CProfile::GetString(const wchar_t* name, const std::wstring& defaultValue) const {
    win::RegKey key;
    if (m_strKeyPath.empty() || key.Open(m_hRoot, m_strKeyPath, KEY_READ) != ERROR_SUCCESS) return defaultValue;
    DWORD type = 0;
    auto value = key.ReadString(name, &type);
    if (!value || type == REG_MULTI_SZ) return defaultValue;
    return *value;
}

bool CProfile::WriteString(const wchar_t* name, const std::wstring& value) const {
    win::RegKey key;
    if (m_strKeyPath.empty() || key.Create(m_hRoot, m_strKeyPath, KEY_READ | KEY_WRITE) != ERROR_SUCCESS) return false;
    return key.WriteString(name, value) == ERROR_SUCCESS;
}

std::optional<std::vector<BYTE>> CProfile::GetBinary(const wchar_t* name) const {
    win::RegKey key;
    if (m_strKeyPath.empty() || key.Open(m_hRoot, m_strKeyPath, KEY_READ) != ERROR_SUCCESS) return std::nullopt;
    return key.ReadBinary(name);
}

bool CProfile::WriteBinary(const wchar_t* name, const void* data, DWORD bytes) const {
    win::RegKey key;
    if (m_strKeyPath.empty() || key.Create(m_hRoot, m_strKeyPath, KEY_READ | KEY_WRITE) != ERROR_SUCCESS) return false;
    return key.WriteBinary(name, data, bytes) == ERROR_SUCCESS;
}

}  // namespace fw
