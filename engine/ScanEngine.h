#pragma once
// The scan engine: the one object between the association model and the user interface. It owns
// the scanner (with the records of the last scan), the extension manager, the user-interface
// thread's database connections, the list of every registered application and, once attached,
// the extension monitor. It passes the workers' events on to the user interface.
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "assoc/FileExtension.h"
#include "engine/EngineEnvironment.h"
#include "engine/ExtScanner.h"
#include "engine/ExtensionManager.h"
#include "engine/MonitorLink.h"
#include "store/DBManager.h"

// The user interface's side of the engine (implemented by the main frame). Every operation
// returns an integer the engine ignores. Lists and records stay valid until the next scan starts.
class CKVScanEngineCallbacks {
public:
    // On the scan thread, at the end of every scan.
    virtual int OnScanComplete(ExtensionList* pList, BOOL bCompleted) = 0;
    // On the repair thread, at the end of every repair.
    virtual int OnFixComplete(ExtensionList* pList, BOOL bCompleted) = 0;
    // On the scan thread, once per examined extension.
    virtual int OnScanProgress(IFileExtension* pExtension) = 0;
    // The monitor recorded a change of another program.
    virtual int OnExtensionsChanged(ExtensionChangeMap* pChanges) = 0;
    // Association data shown may be out of date (after a repair, a monitor notification, a change).
    virtual int OnAssociationsChanged() = 0;

protected:
    ~CKVScanEngineCallbacks() = default;
};

// History line of a confirmed monitor change.
inline constexpr const wchar_t* KV_HISTORY_ASSOCIATION_CHANGED =
    L"Association changed:  Kavendor verified an association change for extension %s";

class CKVScanEngine : public CKVExtScannerCallbacks, public CKVExtMonitorCallbacks {
public:
    explicit CKVScanEngine(CKVScanEngineCallbacks* pCallbacks,
                           const CEngineEnvironment& env = CEngineEnvironment::Production());
    CKVScanEngine(const CKVScanEngine&) = delete;
    CKVScanEngine& operator=(const CKVScanEngine&) = delete;
    // Stops the monitor, cancels a running scan and waits for the worker threads.
    virtual ~CKVScanEngine();

    // Scanner callbacks, passed on to the user interface.
    int OnScanComplete(ExtensionList* pList, BOOL bCompleted) override;
    int OnScanProgress(IFileExtension* pExtension) override;
    int OnFixComplete(ExtensionList* pList, BOOL bCompleted) override;
    // Monitor callback.
    int OnMonitoredChanges(ExtensionChangeMap* pChanges, int newChangeRecorded) override;

    // Plugs the extension monitor in and starts it with this engine as its receiver.
    void AttachMonitor(std::unique_ptr<IExtensionMonitorLink> monitor);

    // Full scan (empty filter) or one extension (".txt"). 0 while a scan or repair runs, for an
    // unusable filter, or when the thread cannot start.
    BOOL StartScan(const std::wstring& filter);
    // Repair of the last scan's records, with the monitor suspended until it completes. 0 while a
    // scan or repair runs or when there is nothing to repair.
    BOOL StartFix();
    // Asks a running scan to stop at the next extension.
    void CancelScan();
    // Puts the extension on the ignore list and removes it from the results. 0 while a scan or
    // repair runs, or when the ignore list could not take it.
    BOOL IgnoreExtension(IFileExtension* pExtension);
    // Address of the extension's page on the information service; empty without a record.
    static std::wstring GetLookupURL(const IFileExtension* pExtension, int productId, const std::wstring& vendorId,
                                     const std::wstring& languageId);
    // Makes one element of an extension's change list its program again (monitor page). 1 when
    // written; 0 when the change could not be made (the change list then stays).
    BOOL ApplyChange(const CFileTypeInfo& fileType, const std::wstring& extension);
    // The Manage page's change of a verb's command.
    BOOL ChangeAction(CFileExtension& record, const std::wstring& verb, const std::wstring& command,
                      KVChangeResult* pResult = nullptr, std::wstring* pBackupPath = nullptr);

    // The monitor's suspend counter, through the monitor when one is attached.
    void SuspendMonitor();
    void ResumeMonitor();

    // Host of the extension information service (a build setting).
    static std::wstring LookupHost();

    std::atomic<CKVScanEngineCallbacks*> m_pCallbacks;
    CDBManager m_db;
    CExtScanner m_scanner;
    std::unique_ptr<IExtensionMonitorLink> m_monitor;
    CExtensionManager m_manager;
    OpenAppMap m_mapAllApps;
    std::atomic<LONG> m_bReportChanges{0};

private:
    CEngineEnvironment m_env;
};

// The one engine of the process; created and deleted by the application object.
extern CKVScanEngine* g_pScanEngine;
