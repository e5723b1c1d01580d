#pragma once
// File-system paths: the running module, shell folders, existence tests, long names.
#include <windows.h>

#include <string>

namespace win {

// Full path of a module's file (the program when null); any length.
std::wstring ModuleFilePath(HMODULE module = nullptr);
// Part before the last backslash; the whole text when it has none.
std::wstring FolderOf(const std::wstring& path);
// Part after the last backslash or slash.
std::wstring FileNameOf(const std::wstring& path);
// Extension of a file name or path, from the last dot of the file name, dot included; empty when none.
std::wstring ExtensionOf(const std::wstring& path);
// Joins a folder and a name with exactly one backslash between them.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
// Shell folder by CSIDL (CSIDL_COMMON_APPDATA, CSIDL_PROGRAM_FILES_COMMON, ...); empty on failure.
std::wstring ShellFolder(int csidl);
bool FileExists(const std::wstring& path);
bool DirectoryExists(const std::wstring& path);
// Long form of a path; empty when it cannot be determined (the file does not exist).
std::wstring LongPath(const std::wstring& path);
// Creates a folder and its missing parents.
bool CreateDirectories(const std::wstring& path);

}  // namespace win
