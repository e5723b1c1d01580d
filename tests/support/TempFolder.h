#pragma once
// A fresh folder under the system's temporary folder, removed with its contents at the end.
#include <string>

namespace kvtest {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }
    // Creates a file (and its folders) with the given bytes; returns its full path.
    std::wstring WriteFile(const std::wstring& name, const std::string& bytes = {}) const;

private:
    std::wstring m_path;
};

// Deletes a folder tree; quiet on failure.
void RemoveTree(const std::wstring& path);
// Whole content of a file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);

}  // namespace kvtest
