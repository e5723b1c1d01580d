#pragma once
// The unknown-file handler: the shell starts it with the path of a file whose extension has no
// program. It asks whether Kavendor should take care of that type of file or whether the system's
// Open With dialog should be shown, starts the chosen one with the file's path, and ends.
#include <windows.h>

#include <memory>
#include <string>

#include "framework/WinApp.h"

// How the handler starts other programs; tests put a recorder in its place.
class INoAppLauncher {
public:
    virtual ~INoAppLauncher() = default;
    // Opens `file` with `parameters` as its command line (ShellExecuteW, verb "Open").
    virtual bool Open(const std::wstring& file, const std::wstring& parameters) = 0;
    // Runs `file` with `parameters` and shows it (ShellExecuteExW, verb "open").
    virtual bool Run(const std::wstring& file, const std::wstring& parameters) = 0;
};

// The launcher of the real process: the shell's execute functions.
class CShellLauncher : public INoAppLauncher {
public:
    bool Open(const std::wstring& file, const std::wstring& parameters) override;
    bool Run(const std::wstring& file, const std::wstring& parameters) override;
};

// What the handler knows about the file it was given.
struct NoAppTarget {
    std::wstring strFilePath;   // full path, long form when it can be had
    std::wstring strFileName;   // the name without its folder; empty when the path names no file
    std::wstring strExtension;  // without its dot; empty when the name has none
};

class CNoApp : public fw::CWinApp {
public:
    CNoApp();
    // The launcher is borrowed; null restores the shell launcher.
    void SetLauncher(INoAppLauncher* launcher);

    BOOL InitInstance() override;

    // Path, name and extension of the file named by the command line. The command line is the
    // path as the shell substitutes it; one pair of enclosing quotes is tolerated.
    static NoAppTarget ParseCommandLine(const std::wstring& commandLine);

    // Starts the main program found through "InstallPath" with the file's path. Nothing is started
    // when the value is missing, empty or names no ".exe" file.
    bool StartMainProgram();
    // Shows the system's Open With dialog for the file.
    bool ShowOpenWith();

    // The rundll32.exe of the system folder: never one found through the search path, where a file
    // of the same name beside the opened file would be picked up.
    static std::wstring OpenWithProgram();
    static std::wstring OpenWithParameters(const std::wstring& filePath);

    std::wstring m_strFileName;
    std::wstring m_strFilePath;
    std::wstring m_strExtension;

private:
    CShellLauncher m_shellLauncher;
    INoAppLauncher* m_pLauncher;
};
