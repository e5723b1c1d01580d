#pragma once
// Helpers shared by the association tests: environment variables set for one test, and registry
// utilities over a sandbox with chosen platform facts.
#include <windows.h>

#include <string>

#include "assoc/FileExtRegUtil.h"
#include "tests/support/RegistrySandbox.h"

namespace kvtest {

// Sets (or removes, with a null value) an environment variable until the end of the scope.
class ScopedEnv {
public:
    ScopedEnv(const wchar_t* name, const wchar_t* value) : m_name(name) {
        wchar_t buffer[32768];
        DWORD length = ::GetEnvironmentVariableW(name, buffer, 32768);
        m_hadValue = length > 0 && length < 32768;
        if (m_hadValue) m_old.assign(buffer, length);
        ::SetEnvironmentVariableW(name, value);
    }
    ~ScopedEnv() { ::SetEnvironmentVariableW(m_name.c_str(), m_hadValue ? m_old.c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::wstring m_name, m_old;
    bool m_hadValue = false;
};

// No WOW64, no legacy shell, no redirection functions: the plain 64-bit process.
inline AssocPlatform PlainPlatform() { return AssocPlatform{}; }

inline std::wstring Lower(std::wstring text) {
    if (!text.empty()) ::CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

inline std::wstring EnvValue(const wchar_t* name) {
    wchar_t buffer[32768];
    DWORD length = ::GetEnvironmentVariableW(name, buffer, 32768);
    return length > 0 && length < 32768 ? std::wstring(buffer, length) : std::wstring();
}

}  // namespace kvtest
