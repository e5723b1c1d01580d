#include "assoc/FileExtRegUtil.h"

#include <shlwapi.h>

#include <algorithm>

#include "win/Platform.h"
#include "win/Strings.h"

namespace {

// Deeper than the registry itself allows (512 levels); ends runaway recursion, e.g. a copy whose
// destination lies inside its source.
constexpr int kMaxTreeDepth = 512;
// Key names are at most 255 characters.
constexpr DWORD kNameBuffer = 256;

FARPROC Kernel32Proc(const char* name) {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32");
    return kernel ? ::GetProcAddress(kernel, name) : nullptr;
}

template <typename Fn>
Fn ProcAs(FARPROC proc) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

// Text of raw value bytes: UTF-16 up to the first zero character or the end of the data.
std::wstring BytesToText(const BYTE* data, DWORD bytes) { return win::RegDataToString(data, bytes); }

}  // namespace

AssocPlatform AssocPlatform::Detect() {
    AssocPlatform platform;
    platform.bWow64 = win::IsWow64() ? 1 : 0;
    using GetVersionExFn = BOOL(WINAPI*)(OSVERSIONINFOW*);
    if (auto getVersion = ProcAs<GetVersionExFn>(Kernel32Proc("GetVersionExW"))) {
        OSVERSIONINFOW info{};
        info.dwOSVersionInfoSize = sizeof info;
        if (getVersion(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT) {
            if (info.dwMajorVersion <= 5) platform.bLegacyShell = 1;
            // Windows 8 (6.2) and later ignore a per-user choice without a valid hash.
            if (info.dwMajorVersion > 6 || (info.dwMajorVersion == 6 && info.dwMinorVersion >= 2))
                platform.bProtectedUserChoice = 1;
        }
    }
    // Only a WOW64 process is redirected; elsewhere the second file test could only repeat the first.
    if (platform.bWow64) {
        platform.pfnDisableRedirection =
            ProcAs<PFN_WOW64_DISABLE_REDIRECTION>(Kernel32Proc("Wow64DisableWow64FsRedirection"));
        platform.pfnRevertRedirection =
            ProcAs<PFN_WOW64_REVERT_REDIRECTION>(Kernel32Proc("Wow64RevertWow64FsRedirection"));
    }
    return platform;
}

CFileExtRegUtil::CFileExtRegUtil() : CFileExtRegUtil(win::RegistryRoots{}, AssocPlatform::Detect()) {}
CFileExtRegUtil::CFileExtRegUtil(const win::RegistryRoots& roots) : CFileExtRegUtil(roots, AssocPlatform::Detect()) {}
CFileExtRegUtil::CFileExtRegUtil(const win::RegistryRoots& roots, const AssocPlatform& platform)
    : m_bWow64(platform.bWow64),
      m_bLegacyShell(platform.bLegacyShell),
      m_bProtectedUserChoice(platform.bProtectedUserChoice),
      m_pfnDisableRedirection(platform.pfnDisableRedirection),
      m_pfnRevertRedirection(platform.pfnRevertRedirection),
      m_roots(roots) {}

// Reads any value as text. A small stack buffer serves almost every value in one call; larger
// ones are read into a buffer of the reported size, again if the value grew meanwhile.
bool CFileExtRegUtil::QueryText(HKEY key, const wchar_t* name, std::wstring& text, DWORD* type) {
    try {
        BYTE small[512];
        DWORD bytes = sizeof small;
        DWORD valueType = REG_NONE;
        LONG rc = ::RegQueryValueExW(key, name, nullptr, &valueType, small, &bytes);
        if (rc == ERROR_SUCCESS) {
            text = BytesToText(small, std::min<DWORD>(bytes, sizeof small));
            if (type) *type = valueType;
            return true;
        }
        std::vector<BYTE> buffer;
        for (int attempt = 0; attempt < 8 && rc == ERROR_MORE_DATA; ++attempt) {
            if (bytes > win::RegKey::kMaxValueBytes) return false;
            // Room for a terminating zero that the stored data may lack.
            buffer.assign(static_cast<size_t>(bytes) + sizeof(wchar_t), 0);
            DWORD got = bytes;
            rc = ::RegQueryValueExW(key, name, nullptr, &valueType, buffer.data(), &got);
            if (rc == ERROR_SUCCESS) {
                text = BytesToText(buffer.data(), std::min(got, bytes));
                if (type) *type = valueType;
                return true;
            }
            if (rc == ERROR_MORE_DATA) bytes = std::max(got, bytes + 256);
        }
        return false;
    } catch (...) {
        // Out of memory: the result of a failed read.
        return false;
    }
}

bool CFileExtRegUtil::OpenKey(HKEY root, const std::wstring& subKey, REGSAM base, win::RegKey& key) const {
    return root && key.Open(root, subKey, Mask(base)) == ERROR_SUCCESS;
}

bool CFileExtRegUtil::CreateKey(HKEY root, const std::wstring& subKey, REGSAM base, win::RegKey& key) const {
    return root && key.Create(root, subKey, Mask(base)) == ERROR_SUCCESS;
}

bool CFileExtRegUtil::DeleteKey(HKEY parent, const std::wstring& subKey) const {
    if (!parent || subKey.empty()) return false;
    LONG rc = m_bWow64 ? ::RegDeleteKeyExW(parent, subKey.c_str(), KEY_WOW64_64KEY, 0)
                       : ::RegDeleteKeyW(parent, subKey.c_str());
    return rc == ERROR_SUCCESS;
}

bool CFileExtRegUtil::KeyExists(HKEY root, const std::wstring& subKey) const {
    win::RegKey key;
    return OpenKey(root, subKey, KV_MASK_READ, key);
}

bool CFileExtRegUtil::ValueExists(HKEY root, const std::wstring& subKey, const std::wstring& valueName) const {
    win::RegKey key;
    if (!OpenKey(root, subKey, KV_MASK_READ, key)) return false;
    return ::RegQueryValueExW(key.get(), valueName.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::wstring CFileExtRegUtil::ReadValue(HKEY root, const std::wstring& subKey, const std::wstring& valueName,
                                        DWORD* type) const {
    try {
        win::RegKey key;
        if (!OpenKey(root, subKey, KV_MASK_READ, key)) return {};
        std::wstring text;
        if (!QueryText(key.get(), valueName.c_str(), text, type)) return {};
        return text;
    } catch (...) {
        // Out of memory: the result of a failed read.
        return {};
    }
}

bool CFileExtRegUtil::FileExists(const std::wstring& path) const {
    if (path.empty()) return false;
    if (::PathFileExistsW(path.c_str())) return true;
    if (!m_pfnDisableRedirection) return false;
    PVOID state = nullptr;
    // Only a redirection that was really turned off is turned back on.
    BOOL disabled = m_pfnDisableRedirection(&state);
    BOOL exists = ::PathFileExistsW(path.c_str());
    if (disabled && m_pfnRevertRedirection) m_pfnRevertRedirection(state);
    return exists != FALSE;
}

bool CFileExtRegUtil::ProgramExists(const std::wstring& path) const {
    // A folder exists but runs nothing, so it never counts as a program. PathFileExistsW keeps
    // drives without media from raising an error box; the attributes are asked only afterwards.
    if (!FileExists(path)) return false;
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES && m_pfnDisableRedirection) {
        PVOID state = nullptr;
        BOOL disabled = m_pfnDisableRedirection(&state);
        attributes = ::GetFileAttributesW(path.c_str());
        if (disabled && m_pfnRevertRedirection) m_pfnRevertRedirection(state);
    }
    return attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring CFileExtRegUtil::GetUserChoiceKeyPath() const {
    return m_bLegacyShell ? L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\%s"
                          : L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\%s\\UserChoice";
}

std::wstring CFileExtRegUtil::UserChoiceKey(const std::wstring& extension) const {
    // Plain substitution: the extension is data and may itself hold a "%".
    std::wstring key = std::wstring(KV_FILEEXTS_KEY) + L"\\" + extension;
    if (!m_bLegacyShell) key += L"\\UserChoice";
    return key;
}

void CFileExtRegUtil::EnumExtensionKeys(HKEY root, std::vector<std::wstring>& list) const {
    if (root == m_roots.classesRoot)
        EnumExtensionKeysBelow(root, L"", list);
    else if (root == m_roots.currentUser)
        EnumExtensionKeysBelow(root, KV_FILEEXTS_KEY, list);
}

void CFileExtRegUtil::EnumUserClassesExtensionKeys(std::vector<std::wstring>& list) const {
    EnumExtensionKeysBelow(m_roots.currentUser, KV_USER_CLASSES_KEY, list);
}

void CFileExtRegUtil::EnumExtensionKeysBelow(HKEY root, const std::wstring& subKey,
                                             std::vector<std::wstring>& list) const {
    try {
        win::RegKey key;
        if (!OpenKey(root, subKey, KV_MASK_READ, key)) return;
        DWORD count = 0;
        if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr) != ERROR_SUCCESS)
            return;
        wchar_t name[kNameBuffer];
        for (DWORD index = 0; index < count; ++index) {
            DWORD length = kNameBuffer;
            LONG rc = ::RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_NO_MORE_ITEMS) break;  // keys were removed meanwhile
            if (rc != ERROR_SUCCESS || length == 0 || name[0] != L'.') continue;
            list.push_back(win::ToLower(std::wstring_view(name, length)));
        }
    } catch (...) {
        // Out of memory: the result of a failed read.
        return;
    }
}

std::wstring CFileExtRegUtil::UserChoiceReadKey(const std::wstring& extension) const {
    if (!m_bProtectedUserChoice) return UserChoiceKey(extension);
    const std::wstring fileExt = std::wstring(KV_FILEEXTS_KEY) + L"\\" + extension + L"\\";
    const std::wstring latest = fileExt + KV_USER_CHOICE_LATEST;
    // The newest choice takes precedence once it names a type.
    if (!ReadValue(m_roots.currentUser, latest, L"ProgId").empty()) return latest;
    if (!ReadValue(m_roots.currentUser, latest + L"\\ProgId", L"ProgId").empty()) return latest + L"\\ProgId";
    return fileExt + KV_USER_CHOICE;
}

std::wstring CFileExtRegUtil::UserClassesKey(const std::wstring& extension) {
    return std::wstring(KV_USER_CLASSES_KEY) + L"\\" + extension;
}

std::wstring CFileExtRegUtil::ReadUserClassesDefault(const std::wstring& extension) const {
    if (!m_bProtectedUserChoice || extension.empty()) return {};
    return ReadValue(m_roots.currentUser, UserClassesKey(extension), L"");
}

std::wstring CFileExtRegUtil::ReadClassesDefault(const std::wstring& extension) const {
    if (extension.empty()) return {};
    std::wstring value = ReadUserClassesDefault(extension);
    if (value.empty()) value = ReadValue(m_roots.classesRoot, extension, L"");
    return value;
}

bool CFileExtRegUtil::RemoveUserChoiceKeys(const std::wstring& extension) const {
    if (extension.empty()) return false;
    try {
        const std::wstring fileExt = std::wstring(KV_FILEEXTS_KEY) + L"\\" + extension;
        bool removed = true;
        for (const wchar_t* name : {KV_USER_CHOICE, KV_USER_CHOICE_LATEST}) {
            const std::wstring path = fileExt + L"\\" + name;
            if (!KeyExists(m_roots.currentUser, path)) continue;
            {
                win::RegKey parent;
                if (OpenKey(m_roots.currentUser, fileExt, KV_MASK_READ_SET_VALUE, parent))
                    DeleteKeyTree(parent.get(), name);
            }
            // Judged by what is left: a key the system protects stays, whatever the calls said.
            if (KeyExists(m_roots.currentUser, path)) removed = false;
        }
        return removed;
    } catch (...) {
        return false;
    }
}

bool CFileExtRegUtil::PointUserClassesDefault(const std::wstring& extension, const std::wstring& progId) const {
    if (extension.empty() || progId.empty() || extension.find(L'\\') != std::wstring::npos) return false;
    if (!RemoveUserChoiceKeys(extension)) return false;
    try {
        win::RegKey key;
        if (!CreateKey(m_roots.currentUser, UserClassesKey(extension), KV_MASK_SET_VALUE_CREATE, key)) return false;
        // Stored with its terminating zero, as every reader of the registry expects.
        return key.WriteString(nullptr, progId) == ERROR_SUCCESS;
    } catch (...) {
        return false;
    }
}

void CFileExtRegUtil::ReadOpenWithProgIDs(HKEY root, const std::wstring& extension,
                                          std::vector<std::wstring>& list) const {
    try {
        std::wstring subKey = root == m_roots.currentUser
                                  ? std::wstring(KV_FILEEXTS_KEY) + L"\\" + extension + L"\\OpenWithProgIDs"
                                  : extension + L"\\OpenWithProgIDs";
        win::RegKey key;
        if (!OpenKey(root, subKey, KV_MASK_READ, key)) return;
        DWORD count = 0;
        if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                               nullptr, nullptr) != ERROR_SUCCESS)
            return;
        wchar_t name[kNameBuffer];
        for (DWORD index = 0; index < count; ++index) {
            DWORD length = kNameBuffer;
            LONG rc = ::RegEnumValueW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_NO_MORE_ITEMS) break;
            if (rc != ERROR_SUCCESS || length == 0) continue;  // unreadable, or the default value
            list.emplace_back(name, length);
        }
    } catch (...) {
        // Out of memory: the result of a failed read.
        return;
    }
}

bool CFileExtRegUtil::DeleteKeyTree(HKEY parent, const std::wstring& subKey) const {
    try {
        return DeleteKeyTreeIn(parent, subKey, 0);
    } catch (...) {
        // Out of memory: the result of a failed read.
        return false;
    }
}

bool CFileExtRegUtil::DeleteKeyTreeIn(HKEY parent, const std::wstring& subKey, int depth) const {
    if (!parent || subKey.empty() || depth > kMaxTreeDepth) return false;
    {
        win::RegKey key;
        if (OpenKey(parent, subKey, KV_MASK_READ_SET_VALUE_CREATE, key)) {
            DWORD count = 0, longest = 0;
            if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
                std::vector<wchar_t> name(static_cast<size_t>(longest) + 1 < kNameBuffer ? kNameBuffer : longest + 1);
                // Always the first child: each deletion moves the next one to index 0.
                for (DWORD i = 0; i < count; ++i) {
                    DWORD length = static_cast<DWORD>(name.size());
                    if (::RegEnumKeyExW(key.get(), 0, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
                        ERROR_SUCCESS)
                        break;
                    if (!DeleteKeyTreeIn(key.get(), std::wstring(name.data(), length), depth + 1)) break;
                }
            }
        }
    }
    return DeleteKey(parent, subKey);
}

bool CFileExtRegUtil::CopyKeyTree(HKEY source, HKEY destParent, const std::wstring& destSubKey) const {
    try {
        return CopyKeyTreeIn(source, destParent, destSubKey, 0);
    } catch (...) {
        // Out of memory: the result of a failed read.
        return false;
    }
}

bool CFileExtRegUtil::CopyKeyTreeIn(HKEY source, HKEY destParent, const std::wstring& destSubKey, int depth) const {
    if (!source || !destParent || depth > kMaxTreeDepth) return false;
    win::RegKey dest;
    if (!CreateKey(destParent, destSubKey, KV_MASK_ALL_ACCESS, dest)) return false;
    DWORD subKeys = 0, longestSubKey = 0, values = 0, longestName = 0, longestData = 0;
    if (::RegQueryInfoKeyW(source, nullptr, nullptr, nullptr, &subKeys, &longestSubKey, nullptr, &values, &longestName,
                           &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    // A copy that missed anything is a failed copy, even when later items succeeded.
    bool ok = true;
    // Value names have at most 16383 characters.
    std::vector<wchar_t> name(16384, 0);
    std::vector<BYTE> data;
    for (DWORD index = 0; index < values; ++index) {
        DWORD nameSize = 0, dataSize = longestData, type = REG_NONE;
        LONG rc = ERROR_MORE_DATA;
        // The value may have grown since the counts were taken.
        for (int attempt = 0; attempt < 4 && rc == ERROR_MORE_DATA; ++attempt) {
            if (dataSize > win::RegKey::kMaxValueBytes) break;
            data.assign(std::max<DWORD>(dataSize, 1), 0);
            DWORD nameLength = static_cast<DWORD>(name.size());
            DWORD got = static_cast<DWORD>(data.size());
            rc = ::RegEnumValueW(source, index, name.data(), &nameLength, nullptr, &type, data.data(), &got);
            if (rc == ERROR_SUCCESS) {
                nameSize = nameLength;
                dataSize = got;
            } else if (rc == ERROR_MORE_DATA) {
                dataSize = std::max(got, dataSize * 2 + 256);
            }
        }
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS ||
            ::RegSetValueExW(dest.get(), std::wstring(name.data(), nameSize).c_str(), 0, type,
                             dataSize ? data.data() : nullptr, dataSize) != ERROR_SUCCESS)
            ok = false;
    }
    name.assign(std::max<DWORD>(longestSubKey + 1, kNameBuffer), 0);
    for (DWORD index = 0; index < subKeys; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        LONG rc = ::RegEnumKeyExW(source, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        std::wstring child(name.data(), rc == ERROR_SUCCESS ? length : 0);
        win::RegKey childKey;
        if (rc != ERROR_SUCCESS || !OpenKey(source, child, KV_MASK_READ, childKey) ||
            !CopyKeyTreeIn(childKey.get(), dest.get(), child, depth + 1))
            ok = false;
    }
    return ok;
}
