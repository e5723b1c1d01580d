#pragma once
// A throwaway registry tree for one test: HKCU\Software\KavendorTests\<unique>\{Classes,User,Machine},
// handed to the code under test as its three roots and deleted with everything below it when the
// sandbox goes away.
#include <windows.h>

#include <string>

#include "win/RegKey.h"
#include "win/RegistryRoots.h"

namespace kvtest {

class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    const win::RegistryRoots& Roots() const { return m_roots; }
    HKEY Classes() const { return m_classes.get(); }
    HKEY User() const { return m_user.get(); }
    HKEY Machine() const { return m_machine.get(); }
    // Path of the sandbox below HKEY_CURRENT_USER.
    const std::wstring& Path() const { return m_path; }

    // Convenience for fixtures: writes a string (default value when name is empty) below a root,
    // creating the keys on the way.
    static void SetString(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& value,
                          DWORD type = REG_SZ);
    static void SetDword(HKEY root, const std::wstring& key, const std::wstring& name, DWORD value);
    static void SetRaw(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type, const void* data,
                       DWORD bytes);
    static bool KeyExists(HKEY root, const std::wstring& key);
    // Value text, or "<absent>" when the key or value is missing or not a string.
    static std::wstring GetString(HKEY root, const std::wstring& key, const std::wstring& name);

private:
    std::wstring m_path;
    win::RegKey m_classes, m_user, m_machine;
    win::RegistryRoots m_roots;
};

}  // namespace kvtest
