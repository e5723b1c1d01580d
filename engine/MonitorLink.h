#pragma once
// The engine's side of the extension monitor. The monitor watches the association keys while the
// program runs and reports outside changes; the engine passes them on to the user interface and
// brackets its own association writes, so the monitor does not report the program's own changes.
// The engine runs without a monitor until one is attached (CKVScanEngine::AttachMonitor).
#include <windows.h>

#include <list>
#include <map>
#include <string>

class IFileTypeInfo;
class CFileTypeInfo;

// Changes the monitor recorded: per extension, the file types it has had, oldest first.
using ExtensionChangeMap = std::map<std::wstring, std::list<IFileTypeInfo*>>;

// Receiver of the monitor's notifications (implemented by the scan engine).
class CKVExtMonitorCallbacks {
public:
    // changes stays the monitor's; newChangeRecorded is non-zero when a change list grew.
    virtual int OnMonitoredChanges(ExtensionChangeMap* pChanges, int newChangeRecorded) = 0;

protected:
    ~CKVExtMonitorCallbacks() = default;
};

// What the engine asks of the monitor.
class IExtensionMonitorLink {
public:
    virtual ~IExtensionMonitorLink() = default;
    // Starts watching; 1 on success.
    virtual int Start(CKVExtMonitorCallbacks* pCallbacks) = 0;
    // Stops the watcher threads; the monitor may be destroyed afterwards.
    virtual void Stop() = 0;
    // Raises the suspend counter: changes seen meanwhile are the program's own.
    virtual void SuspendRecording() = 0;
    // Lowers the suspend counter, never below 0.
    virtual void ResumeRecording() = 0;
    // The next change of this extension's per-user choice is made by the program itself.
    virtual void ExpectUserChoiceChange(const std::wstring& extension) = 0;
    // Writes the type as the extension's per-user choice and forgets its change list; 1 when written.
    virtual int ApplyAssociation(const std::wstring& extension, const CFileTypeInfo& type) = 0;
    // The recording switch: while 0, changes only update the snapshots.
    virtual void SetEnabled(int enabled) = 0;
};
