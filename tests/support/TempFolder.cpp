#include "tests/support/TempFolder.h"

#include <windows.h>

#include <stdexcept>

#include "win/Paths.h"
#include "win/UniqueHandle.h"

namespace kvtest {

TempFolder::TempFolder() {
    wchar_t base[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, base);
    static LONG counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring candidate = win::JoinPath(base, L"kvtest_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                                                         std::to_wstring(::InterlockedIncrement(&counter)) + L"_" +
                                                         std::to_wstring(::GetTickCount()));
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("temporary folder could not be created");
}

TempFolder::~TempFolder() { RemoveTree(m_path); }

std::wstring TempFolder::WriteFile(const std::wstring& name, const std::string& bytes) const {
    std::wstring path = File(name);
    win::CreateDirectories(win::FolderOf(path));
    win::UniqueFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw std::runtime_error("test file could not be created");
    DWORD written = 0;
    if (!bytes.empty()) ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return path;
}

void RemoveTree(const std::wstring& path) {
    if (path.empty()) return;
    WIN32_FIND_DATAW data{};
    win::UniqueFindHandle find(::FindFirstFileW((path + L"\\*").c_str(), &data));
    if (find) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(child.c_str());
            }
        } while (::FindNextFileW(find.get(), &data));
    }
    find.reset();
    ::RemoveDirectoryW(path.c_str());
}

std::string ReadFileBytes(const std::wstring& path) {
    win::UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    return bytes;
}

}  // namespace kvtest
