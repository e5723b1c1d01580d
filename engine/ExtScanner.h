#pragma once
// The scanner: runs a scan (all extensions, or one) on a worker thread of its own, owns the
// records of the last scan, and runs the repair of those records on a second worker thread.
// A scan and a repair never run together; the engine checks the busy flags before starting one.
#include <windows.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "assoc/FileExtension.h"
#include "engine/EngineEnvironment.h"
#include "win/UniqueHandle.h"

// Records by extension name (lower case, with the dot), owned.
using ExtensionMap = std::map<std::wstring, std::unique_ptr<CFileExtension>>;
// Records in order; owns nothing.
using ExtensionList = std::vector<IFileExtension*>;

// Receiver of the scanner's events (implemented by the scan engine).
class CKVExtScannerCallbacks {
public:
    // Once at the end of every scan, on the scan thread; bCompleted is 0 when it was cancelled.
    virtual int OnScanComplete(ExtensionList* pList, BOOL bCompleted) = 0;
    // Once per examined extension, on the scan thread.
    virtual int OnScanProgress(IFileExtension* pExtension) = 0;
    // Once at the end of every repair, on the repair thread.
    virtual int OnFixComplete(ExtensionList* pList, BOOL bCompleted) = 0;

protected:
    ~CKVExtScannerCallbacks() = default;
};

// The diagnostic dumps every scan rewrites.
inline constexpr const wchar_t* KV_EXTENSION_DUMP = L"ExtensionDump.txt";
inline constexpr const wchar_t* KV_ERROR_DUMP = L"ErrorDump.txt";
// History line of a repaired extension.
inline constexpr const wchar_t* KV_HISTORY_FIXED = L"Extension fixed:  Kavendor Scan fixed a problem with extension %s";

class CExtScanner {
public:
    explicit CExtScanner(CEngineEnvironment env = CEngineEnvironment::Production());
    CExtScanner(const CExtScanner&) = delete;
    CExtScanner& operator=(const CExtScanner&) = delete;
    // Asks running threads to stop and waits for them before the records go.
    virtual ~CExtScanner();

    // Starts a scan of every extension (empty filter) or of one extension. Replaces the records
    // of the last scan. False while a scan or repair runs, when the filter is no usable extension
    // name, or when the thread cannot be created.
    bool StartScanThread(const std::wstring& filter, CKVExtScannerCallbacks* pCallbacks);
    // Starts the repair of the last scan's records; false without a scan, while a scan or repair
    // runs, or without a thread.
    bool StartRepairThread(CKVExtScannerCallbacks* pCallbacks);
    // Moves an extension out of the results (after the user ignored it); the record is deleted.
    // Returns whether a record was erased.
    bool RemoveExtension(const IFileExtension* pExtension);

    // Waits until the scan or repair thread has ended. Sent messages are handled meanwhile, so a
    // worker that is delivering its completion to this thread's window cannot dead-lock the wait.
    void WaitForScan() const;
    void WaitForRepair() const;

    const CEngineEnvironment& Environment() const { return m_env; }

    std::unique_ptr<ExtensionMap> m_pResults;
    std::unique_ptr<ExtensionList> m_pResultList;
    std::unique_ptr<ExtensionList> m_pRepairList;
    win::UniqueKernelHandle m_hScanThread;
    std::atomic<LONG> m_bScanRunning{0};
    std::atomic<LONG> m_bScanCancel{0};
    win::UniqueKernelHandle m_hRepairThread;
    std::atomic<LONG> m_bRepairRunning{0};
    std::atomic<LONG> m_bRepairCancel{0};

    // Outcome of the last repair's undo file: where it went, or that it could not be written (the
    // repair then changed nothing and reported completed = 0).
    std::wstring m_strRepairBackup;
    BOOL m_bRepairBackupFailed = 0;

private:
    struct ScanParams;
    struct RepairParams;
    static unsigned __stdcall ScanThread(void* pParam);
    static unsigned __stdcall RepairThread(void* pParam);
    static void RunScan(ScanParams& params);
    static void RunRepair(RepairParams& params);

    CEngineEnvironment m_env;
};
