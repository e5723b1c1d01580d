#pragma once
// Application object: one per process, reached through GetApp(). Main() runs InitInstance;
// when it succeeds the message loop runs until WM_QUIT and ExitInstance follows. A failed
// InitInstance ends the process at once, with nothing more done.
#include <windows.h>

#include <string>

#include "framework/Profile.h"
#include "framework/Window.h"

namespace fw {

class CWinApp {
public:
    CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual ~CWinApp();

    // Entry from wWinMain.
    int Main(HINSTANCE instance, const wchar_t* commandLine, int showCommand);

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return m_nExitCode; }
    virtual int Run();

    // Places the profile under Software\<company>\<application name> of the current-user root.
    void SetRegistryKey(const std::wstring& company);
    // Tests point the profile at a sandbox key.
    void SetProfileRoot(HKEY currentUserRoot);
    const CProfile& Profile() const { return m_profile; }

    UINT GetProfileInt(const wchar_t* name, UINT defaultValue) const { return m_profile.GetInt(name, defaultValue); }
    bool WriteProfileInt(const wchar_t* name, UINT value) const { return m_profile.WriteInt(name, value); }
    std::wstring GetProfileString(const wchar_t* name, const std::wstring& defaultValue = {}) const {
        return m_profile.GetString(name, defaultValue);
    }
    bool WriteProfileString(const wchar_t* name, const std::wstring& value) const {
        return m_profile.WriteString(name, value);
    }

    HINSTANCE m_hInstance = nullptr;
    std::wstring m_strCommandLine;  // the text after the program name
    int m_nShowCommand = SW_SHOWNORMAL;
    std::wstring m_strAppName;      // application name: the profile key's last part
    CWindow* m_pMainWnd = nullptr;  // not owned
    int m_nExitCode = 0;

private:
    HKEY m_hProfileRoot = HKEY_CURRENT_USER;
    std::wstring m_strCompany;
    CProfile m_profile;
};

CWinApp* GetApp();

// The command-line text after the program name, as the system passes it to wWinMain.
std::wstring CommandLineTail(const wchar_t* fullCommandLine);

}  // namespace fw
