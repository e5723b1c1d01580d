#include "win/RegKey.h"

#include <algorithm>
#include <utility>

namespace win {

RegKey::RegKey(RegKey&& other) noexcept : m_key(std::exchange(other.m_key, nullptr)) {}

RegKey& RegKey::operator=(RegKey&& other) noexcept {
    if (this != &other) {
        Close();
        m_key = std::exchange(other.m_key, nullptr);
    }
    return *this;
}

RegKey::~RegKey() { Close(); }

void RegKey::Close() noexcept {
    if (m_key) {
        ::RegCloseKey(m_key);
        m_key = nullptr;
    }
}

HKEY RegKey::release() noexcept { return std::exchange(m_key, nullptr); }

LONG RegKey::Open(HKEY parent, const std::wstring& subKey, REGSAM access) noexcept {
    Close();
    if (!parent) return ERROR_INVALID_HANDLE;
    HKEY key = nullptr;
    LONG rc = ::RegOpenKeyExW(parent, subKey.c_str(), 0, access, &key);
    if (rc == ERROR_SUCCESS) m_key = key;
    return rc;
}

LONG RegKey::Create(HKEY parent, const std::wstring& subKey, REGSAM access, bool* created) noexcept {
    Close();
    if (!parent) return ERROR_INVALID_HANDLE;
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG rc = ::RegCreateKeyExW(parent, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                &key, &disposition);
    if (rc == ERROR_SUCCESS) {
        m_key = key;
        if (created) *created = disposition == REG_CREATED_NEW_KEY;
    }
    return rc;
}

bool RegKey::ValueExists(const wchar_t* name) const noexcept {
    if (!m_key) return false;
    return ::RegQueryValueExW(m_key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::optional<RegValue> RegKey::ReadRaw(const wchar_t* name) const {
    if (!m_key) return std::nullopt;
    RegValue value;
    DWORD bytes = 0;
    LONG rc = ::RegQueryValueExW(m_key, name, nullptr, &value.type, nullptr, &bytes);
    // The value may grow between the size query and the read: retry a few times.
    for (int attempt = 0; attempt < 8 && rc == ERROR_SUCCESS; ++attempt) {
        if (bytes > kMaxValueBytes) return std::nullopt;
        value.data.resize(bytes);
        DWORD got = bytes;
        rc = ::RegQueryValueExW(m_key, name, nullptr, &value.type, value.data.empty() ? nullptr : value.data.data(),
                                &got);
        if (rc == ERROR_SUCCESS) {
            value.data.resize(std::min(got, bytes));
            return value;
        }
        if (rc == ERROR_MORE_DATA) {
            bytes = std::max(got, bytes + 256);
            rc = ERROR_SUCCESS;
        }
    }
    return std::nullopt;
}

std::wstring RegDataToString(const BYTE* data, size_t bytes) {
    size_t chars = bytes / sizeof(wchar_t);
    std::wstring text(chars, L'\0');
    if (chars) memcpy(text.data(), data, chars * sizeof(wchar_t));
    size_t zero = text.find(L'\0');
    if (zero != std::wstring::npos) text.resize(zero);
    return text;
}

std::optional<std::wstring> RegKey::ReadString(const wchar_t* name, DWORD* type) const {
    auto raw = ReadRaw(name);
    if (!raw) return std::nullopt;
    if (raw->type != REG_SZ && raw->type != REG_EXPAND_SZ && raw->type != REG_MULTI_SZ) return std::nullopt;
    if (type) *type = raw->type;
    return RegDataToString(raw->data.data(), raw->data.size());
}

std::optional<DWORD> RegKey::ReadDword(const wchar_t* name) const {
    auto raw = ReadRaw(name);
    if (!raw || raw->type != REG_DWORD || raw->data.size() != sizeof(DWORD)) return std::nullopt;
    DWORD value = 0;
    memcpy(&value, raw->data.data(), sizeof value);
    return value;
}

std::optional<uint64_t> RegKey::ReadQword(const wchar_t* name) const {
    auto raw = ReadRaw(name);
    if (!raw || raw->type != REG_QWORD || raw->data.size() != sizeof(uint64_t)) return std::nullopt;
    uint64_t value = 0;
    memcpy(&value, raw->data.data(), sizeof value);
    return value;
}

std::optional<std::vector<BYTE>> RegKey::ReadBinary(const wchar_t* name) const {
    auto raw = ReadRaw(name);
    if (!raw || raw->type != REG_BINARY) return std::nullopt;
    return std::move(raw->data);
}

LONG RegKey::WriteRaw(const wchar_t* name, DWORD type, const void* data, DWORD bytes) noexcept {
    if (!m_key) return ERROR_INVALID_HANDLE;
    return ::RegSetValueExW(m_key, name, 0, type, static_cast<const BYTE*>(data), bytes);
}

LONG RegKey::WriteString(const wchar_t* name, const std::wstring& value, DWORD type) noexcept {
    return WriteRaw(name, type, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LONG RegKey::WriteDword(const wchar_t* name, DWORD value) noexcept {
    return WriteRaw(name, REG_DWORD, &value, sizeof value);
}

LONG RegKey::WriteQword(const wchar_t* name, uint64_t value) noexcept {
    return WriteRaw(name, REG_QWORD, &value, sizeof value);
}

LONG RegKey::WriteBinary(const wchar_t* name, const void* data, DWORD bytes) noexcept {
    return WriteRaw(name, REG_BINARY, data, bytes);
}

LONG RegKey::DeleteValue(const wchar_t* name) noexcept {
    if (!m_key) return ERROR_INVALID_HANDLE;
    return ::RegDeleteValueW(m_key, name);
}

LONG RegKey::DeleteSubKey(const std::wstring& subKey, REGSAM viewFlags) noexcept {
    if (!m_key) return ERROR_INVALID_HANDLE;
    if (viewFlags) return ::RegDeleteKeyExW(m_key, subKey.c_str(), viewFlags, 0);
    return ::RegDeleteKeyW(m_key, subKey.c_str());
}

namespace {
std::vector<std::wstring> Enumerate(HKEY key, bool values) {
    std::vector<std::wstring> names;
    if (!key) return names;
    // Key names are at most 255 characters, value names at most 16383.
    std::wstring buffer(values ? 16384 : 256, L'\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(buffer.size());
        LONG rc = values ? ::RegEnumValueW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr)
                         : ::RegEnumKeyExW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) continue;  // a name longer than the platform allows: skip it
        if (rc != ERROR_SUCCESS) break;
        names.emplace_back(buffer.data(), std::min<size_t>(length, buffer.size()));
    }
    return names;
}
}  // namespace

std::vector<std::wstring> RegKey::SubKeyNames() const { return Enumerate(m_key, false); }
std::vector<std::wstring> RegKey::ValueNames() const { return Enumerate(m_key, true); }

LONG DeleteKeyRecursive(HKEY parent, const std::wstring& subKey, REGSAM viewFlags) noexcept {
    RegKey key;
    LONG rc = key.Open(parent, subKey, KEY_READ | KEY_WRITE | DELETE | viewFlags);
    if (rc != ERROR_SUCCESS) return rc;
    try {
        for (const auto& child : key.SubKeyNames()) {
            LONG childRc = DeleteKeyRecursive(key.get(), child, viewFlags);
            if (childRc != ERROR_SUCCESS && childRc != ERROR_FILE_NOT_FOUND) return childRc;
        }
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
    key.Close();
    return viewFlags ? ::RegDeleteKeyExW(parent, subKey.c_str(), viewFlags, 0) : ::RegDeleteKeyW(parent, subKey.c_str());
}

}  // namespace win
