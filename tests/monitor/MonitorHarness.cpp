#include "tests/monitor/MonitorHarness.h"

#include "win/RegKey.h"

namespace kvtest {

bool PumpUntil(const std::function<bool()>& done, DWORD boundMs) {
    const ULONGLONG end = ::GetTickCount64() + boundMs;
    for (;;) {
        // A bounded batch, so messages that keep coming never keep the test from its checks.
        MSG msg;
        for (int batch = 0; batch < 100 && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++batch) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (::GetTickCount64() >= end) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms) { PumpUntil([] { return false; }, ms); }

void CMonitorSandbox::SetClassesDefault(const std::wstring& extension, const std::wstring& progId) {
    RegistrySandbox::SetString(m_sandbox.Classes(), extension, L"", progId);
}

void CMonitorSandbox::DeleteExtensionKey(const std::wstring& extension) {
    win::DeleteKeyRecursive(m_sandbox.Classes(), extension);
}

std::wstring CMonitorSandbox::UserChoiceKey(const std::wstring& extension) const {
    return m_platform.bLegacyShell ? kFileExts + L"\\" + extension : kFileExts + L"\\" + extension + L"\\UserChoice";
}

void CMonitorSandbox::SetUserChoice(const std::wstring& extension, const std::wstring& progId) {
    RegistrySandbox::SetString(m_sandbox.User(), UserChoiceKey(extension), L"ProgId", progId);
}

void CMonitorSandbox::SetUserClassesDefault(const std::wstring& extension, const std::wstring& progId) {
    RegistrySandbox::SetString(m_sandbox.User(), L"Software\\Classes\\" + extension, L"", progId);
}

void CMonitorSandbox::SetUserApplication(const std::wstring& extension, const std::wstring& exe) {
    RegistrySandbox::SetString(m_sandbox.User(), UserChoiceKey(extension), L"Application", exe);
}

void CMonitorSandbox::RemoveUserChoice(const std::wstring& extension) {
    if (m_platform.bLegacyShell) {
        win::RegKey key;
        if (key.Open(m_sandbox.User(), UserChoiceKey(extension), KEY_SET_VALUE) == ERROR_SUCCESS) {
            key.DeleteValue(L"ProgId");
            key.DeleteValue(L"Application");
        }
    } else {
        win::DeleteKeyRecursive(m_sandbox.User(), UserChoiceKey(extension));
    }
}

void CMonitorSandbox::AddWorkingProgId(const std::wstring& progId) {
    RegistrySandbox::SetString(m_sandbox.Classes(), progId + L"\\shell\\open\\command", L"",
                               L"\"C:\\windows\\system32\\notepad.exe\" \"%1\"");
}

std::vector<std::wstring> ChangeListProgIds(const CExtensionMonitor& monitor, const std::wstring& extension) {
    std::vector<std::wstring> ids;
    auto found = monitor.GetChanges()->find(extension);
    if (found == monitor.GetChanges()->end()) return ids;
    for (const IFileTypeInfo* type : found->second) ids.push_back(type ? type->GetProgID() : L"<null>");
    return ids;
}

}  // namespace kvtest
