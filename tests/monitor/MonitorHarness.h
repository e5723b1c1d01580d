#pragma once
// Shared pieces of the monitor tests: a sandboxed registry with helpers that write the way other
// programs do, a callback receiver that keeps every notification, and a message pump for the
// test thread, which plays the user-interface thread.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "assoc/FileExtRegUtil.h"
#include "engine/MonitorLink.h"
#include "monitor/ExtensionMonitor.h"
#include "tests/support/RegistrySandbox.h"

namespace kvtest {

inline const std::wstring kFileExts = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";

// Every notification, in order.
class CRecordingCallbacks : public CKVExtMonitorCallbacks {
public:
    struct Call {
        ExtensionChangeMap* changes;
        int newChangeRecorded;
    };
    int OnMonitoredChanges(ExtensionChangeMap* pChanges, int newChangeRecorded) override {
        m_calls.push_back({pChanges, newChangeRecorded});
        return 1;
    }
    std::vector<Call> m_calls;
};

// Dispatches the test thread's messages until `done` holds or `boundMs` has passed (a generous
// upper bound against hangs, never a measurement). Returns whether `done` held.
bool PumpUntil(const std::function<bool()>& done, DWORD boundMs = 20000);
// Dispatches messages for a while; for letting late notifications arrive.
void PumpFor(DWORD ms);

// A sandbox and helpers that change it as another program would.
class CMonitorSandbox {
public:
    explicit CMonitorSandbox(BOOL legacyShell = 0, BOOL protectedUserChoice = 0) {
        m_platform.bLegacyShell = legacyShell;
        m_platform.bProtectedUserChoice = protectedUserChoice;
    }

    const win::RegistryRoots& Roots() const { return m_sandbox.Roots(); }
    const AssocPlatform& Platform() const { return m_platform; }
    RegistrySandbox& Sandbox() { return m_sandbox; }

    void SetClassesDefault(const std::wstring& extension, const std::wstring& progId);
    void DeleteExtensionKey(const std::wstring& extension);
    // "ProgId" of the user-choice key of this system.
    void SetUserChoice(const std::wstring& extension, const std::wstring& progId);
    void SetUserApplication(const std::wstring& extension, const std::wstring& exe);
    void RemoveUserChoice(const std::wstring& extension);
    std::wstring UserChoiceKey(const std::wstring& extension) const;
    // Default of the extension's per-user classes key ("Software\Classes\<ext>" of the user root).
    void SetUserClassesDefault(const std::wstring& extension, const std::wstring& progId);
    // A ProgID whose open command starts an existing program.
    void AddWorkingProgId(const std::wstring& progId);

private:
    RegistrySandbox m_sandbox;
    AssocPlatform m_platform;
};

// ProgIDs of an extension's change list, oldest first; empty when there is none.
std::vector<std::wstring> ChangeListProgIds(const CExtensionMonitor& monitor, const std::wstring& extension);

}  // namespace kvtest
