#include "win/Paths.h"

#include <shlobj.h>

#include <vector>

namespace win {

std::wstring ModuleFilePath(HMODULE module) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length = ::GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring FolderOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(0, slash);
}

std::wstring FileNameOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring ExtensionOf(const std::wstring& path) {
    std::wstring name = FileNameOf(path);
    size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? std::wstring() : name.substr(dot);
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) return name;
    std::wstring result = folder;
    if (result.back() != L'\\' && result.back() != L'/') result += L'\\';
    size_t start = 0;
    while (start < name.size() && (name[start] == L'\\' || name[start] == L'/')) ++start;
    return result + name.substr(start);
}

std::wstring ShellFolder(int csidl) {
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) return {};
    return buffer;
}

bool FileExists(const std::wstring& path) {
    if (path.empty()) return false;
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES;
}

bool DirectoryExists(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring LongPath(const std::wstring& path) {
    if (path.empty()) return {};
    DWORD needed = ::GetLongPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0) return {};
    std::wstring result(needed, L'\0');
    DWORD length = ::GetLongPathNameW(path.c_str(), result.data(), needed);
    if (length == 0 || length >= needed) return {};
    result.resize(length);
    return result;
}

bool CreateDirectories(const std::wstring& path) {
    if (path.empty()) return false;
    if (DirectoryExists(path)) return true;
    std::wstring parent = FolderOf(path);
    if (parent != path && parent.size() > 2 && !DirectoryExists(parent)) CreateDirectories(parent);
    ::CreateDirectoryW(path.c_str(), nullptr);
    // A file of that name is not a folder.
    return DirectoryExists(path);
}

}  // namespace win
