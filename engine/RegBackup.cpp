#include "engine/RegBackup.h"

#include <new>

#include "win/Paths.h"
#include "win/Strings.h"
#include "win/UniqueHandle.h"

namespace {

// Registry trees nest far less deeply than this; deeper data is refused rather than recursed.
constexpr int kMaxDepth = 64;
// A backup larger than this is not a backup of association keys any more.
constexpr size_t kMaxKeys = 20000;

std::wstring Escape(const std::wstring& text) {
    std::wstring result;
    result.reserve(text.size() + 8);
    for (wchar_t c : text) {
        if (c == L'\\' || c == L'"') result += L'\\';
        result += c;
    }
    return result;
}

std::wstring JoinKey(const std::wstring& parent, const std::wstring& child) {
    if (parent.empty()) return child;
    if (child.empty()) return parent;
    return parent + L"\\" + child;
}

// A REG_SZ regedit can write back byte for byte in its quoted form: one terminating zero at the
// end, none before it, and no control characters that would break the line.
bool IsPlainString(const win::RegValue& value) {
    const auto& data = value.data;
    if (value.type != REG_SZ || data.size() < 2 || data.size() % 2 != 0) return false;
    size_t chars = data.size() / 2;
    const wchar_t* text = reinterpret_cast<const wchar_t*>(data.data());
    if (text[chars - 1] != 0) return false;
    for (size_t i = 0; i + 1 < chars; ++i)
        if (text[i] < 0x20) return false;
    return true;
}

}  // namespace

std::wstring CRegBackup::FormatValue(const std::wstring& name, const win::RegValue& value) {
    std::wstring line = name.empty() ? std::wstring(L"@") : L"\"" + Escape(name) + L"\"";
    line += L'=';
    if (IsPlainString(value)) {
        std::wstring text(reinterpret_cast<const wchar_t*>(value.data.data()), value.data.size() / 2 - 1);
        return line + L"\"" + Escape(text) + L"\"";
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD number = 0;
        memcpy(&number, value.data.data(), 4);
        return line + win::Format(L"dword:%08lx", static_cast<unsigned long>(number));
    }
    line += value.type == REG_BINARY ? std::wstring(L"hex:") : win::Format(L"hex(%lx):", static_cast<unsigned long>(value.type));
    // Long data is wrapped as regedit wraps it: a trailing backslash and two blanks.
    size_t column = line.size();
    for (size_t i = 0; i < value.data.size(); ++i) {
        line += win::Format(L"%02x", value.data[i]);
        column += 2;
        if (i + 1 < value.data.size()) {
            line += L',';
            ++column;
            if (column >= 76) {
                line += L"\\\r\n  ";
                column = 2;
            }
        }
    }
    return line;
}

std::wstring CRegBackup::FirstMissingKey(HKEY root, const std::wstring& subKey) const {
    std::wstring prefix;
    size_t start = 0;
    while (start <= subKey.size()) {
        size_t end = subKey.find(L'\\', start);
        if (end == std::wstring::npos) end = subKey.size();
        prefix = subKey.substr(0, end);
        win::RegKey key;
        if (!prefix.empty() && key.Open(root, prefix, KEY_READ | m_viewFlags) != ERROR_SUCCESS) return prefix;
        start = end + 1;
    }
    return {};
}

bool CRegBackup::CaptureTree(HKEY key, const std::wstring& path, int depth, std::vector<KeyState>& keys) {
    if (depth > kMaxDepth || keys.size() >= kMaxKeys) return false;
    win::RegKey self;
    if (self.Open(key, L"", KEY_READ | m_viewFlags) != ERROR_SUCCESS) return false;
    KeyState state;
    state.strPath = path;
    state.bExists = true;
    state.bWholeKey = true;
    bool complete = true;
    for (const auto& name : self.ValueNames()) {
        auto raw = self.ReadRaw(name.c_str());
        if (!raw) {
            complete = false;
            continue;
        }
        state.values.push_back(ValueState{name, true, std::move(*raw)});
    }
    keys.push_back(std::move(state));
    for (const auto& child : self.SubKeyNames()) {
        win::RegKey sub;
        if (sub.Open(self.get(), child, KEY_READ | m_viewFlags) != ERROR_SUCCESS) {
            complete = false;
            continue;
        }
        if (!CaptureTree(sub.get(), JoinKey(path, child), depth + 1, keys)) complete = false;
    }
    return complete;
}

bool CRegBackup::OpenForCapture(const RegBackupRoot& root, const std::wstring& subKey, Entry& entry,
                                win::RegKey& key) const {
    std::wstring missing = FirstMissingKey(root.hKey, subKey);
    if (!missing.empty()) {
        // Whatever gets created there did not exist before.
        entry.strDeletePath = JoinKey(root.strName, missing);
        return true;
    }
    return key.Open(root.hKey, subKey, KEY_READ | m_viewFlags) == ERROR_SUCCESS;
}

void CRegBackup::AddValues(const RegBackupRoot& root, const std::wstring& subKey,
                           const std::vector<std::wstring>& names) {
    try {
        Entry entry;
        win::RegKey key;
        if (!OpenForCapture(root, subKey, entry, key)) {
            m_bComplete = false;
            return;
        }
        if (key) {
            KeyState state;
            state.strPath = JoinKey(root.strName, subKey);
            state.bExists = true;
            // Value names match without regard to case; keep the stored spelling.
            const auto stored = key.ValueNames();
            for (const auto& name : names) {
                ValueState value;
                value.strName = name;
                for (const auto& candidate : stored)
                    if (win::EqualsNoCase(candidate, name)) value.strName = candidate;
                if (key.ValueExists(name.c_str())) {
                    auto raw = key.ReadRaw(name.c_str());
                    if (!raw) {
                        m_bComplete = false;
                        continue;
                    }
                    value.bExists = true;
                    value.value = std::move(*raw);
                }
                state.values.push_back(std::move(value));
            }
            entry.keys.push_back(std::move(state));
        }
        m_entries.push_back(std::move(entry));
    } catch (const std::bad_alloc&) {
        m_bComplete = false;
    }
}

void CRegBackup::AddTree(const RegBackupRoot& root, const std::wstring& subKey) {
    try {
        Entry entry;
        entry.bTree = true;
        win::RegKey key;
        if (!OpenForCapture(root, subKey, entry, key)) {
            m_bComplete = false;
            return;
        }
        if (key) {
            entry.strDeletePath = JoinKey(root.strName, subKey);
            if (!CaptureTree(key.get(), entry.strDeletePath, 0, entry.keys)) m_bComplete = false;
        }
        m_entries.push_back(std::move(entry));
    } catch (const std::bad_alloc&) {
        m_bComplete = false;
    }
}

std::wstring CRegBackup::Text() const {
    std::wstring text = L"Windows Registry Editor Version 5.00\r\n\r\n";
    for (const auto& entry : m_entries) {
        if (!entry.strDeletePath.empty()) text += L"[-" + entry.strDeletePath + L"]\r\n\r\n";
        for (const auto& key : entry.keys) {
            text += L"[" + key.strPath + L"]\r\n";
            for (const auto& value : key.values) {
                if (value.bExists)
                    text += FormatValue(value.strName, value.value);
                else
                    text += (value.strName.empty() ? std::wstring(L"@") : L"\"" + Escape(value.strName) + L"\"") + L"=-";
                text += L"\r\n";
            }
            text += L"\r\n";
        }
    }
    return text;
}

std::wstring CRegBackup::WriteFile(const std::wstring& folder, const std::wstring& tag) const {
    if (!m_bComplete || folder.empty()) return {};
    try {
        if (!win::CreateDirectories(folder)) return {};
        SYSTEMTIME now{};
        ::GetLocalTime(&now);
        std::wstring stem = win::Format(L"%04u-%02u-%02u %02u%02u%02u.%03u %s", now.wYear, now.wMonth, now.wDay,
                                        now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, tag.c_str());
        std::wstring text = Text();
        std::wstring bytes;
        bytes.reserve(text.size() + 1);
        bytes += wchar_t{0xFEFF};
        bytes += text;
        for (int attempt = 1; attempt <= 100; ++attempt) {
            std::wstring path = win::JoinPath(
                folder, attempt == 1 ? stem + L".reg" : win::Format(L"%s (%d).reg", stem.c_str(), attempt));
            win::UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                     FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file) {
                if (::GetLastError() == ERROR_FILE_EXISTS) continue;
                return {};
            }
            const size_t total = bytes.size() * sizeof(wchar_t);
            DWORD written = 0;
            bool ok = total <= 0x7FFFFFFF &&
                      ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(total), &written, nullptr) &&
                      written == total && ::FlushFileBuffers(file.get());
            file.reset();
            if (!ok) {
                ::DeleteFileW(path.c_str());
                return {};
            }
            return path;
        }
    } catch (const std::bad_alloc&) {
    }
    return {};
}
