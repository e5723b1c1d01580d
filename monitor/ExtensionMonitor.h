#pragma once
// The extension monitor: while the program runs it watches the classes root and the per-user
// FileExts key and keeps a list of the association changes other programs make, so that the user
// can put the previous program back or keep the new one.
//
// Two watcher threads wait for registry change notifications; everything else (snapshots,
// comparisons, the change map, the callbacks) lives on the thread that called Start, which must
// pump messages: the comparison runs in the handler of a short timer of a hidden window, so a
// burst of registry writes is compared once. The only members other threads may use are the
// suspend counter (SuspendRecording / ResumeRecording) and the recording switch (SetEnabled).
//
// A change list holds the file types an extension has had since the monitor first saw it change,
// oldest first. The monitor owns the lists and their elements; the map handed to the callbacks
// stays the monitor's, and its contents change only on the user-interface thread.
#include <windows.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "assoc/FileExtRegUtil.h"
#include "assoc/FileExtension.h"
#include "engine/MonitorLink.h"
#include "win/RegistryRoots.h"
#include "win/UniqueHandle.h"

class CMonitorTimerWnd;
class CMonitorWatchState;

// Extension (lower case, with its dot) to text.
using ExtensionTextMap = std::map<std::wstring, std::wstring>;

class CExtensionMonitor : public IExtensionMonitorLink {
public:
    // Watches the predefined roots of the running system.
    CExtensionMonitor();
    // Watches the given roots (borrowed: they must stay open while the monitor runs) with the given
    // platform facts, which also decide where the per-user choice lives and how it is written.
    CExtensionMonitor(const win::RegistryRoots& roots, const AssocPlatform& platform);
    CExtensionMonitor(const CExtensionMonitor&) = delete;
    CExtensionMonitor& operator=(const CExtensionMonitor&) = delete;
    // Stops the watchers if they still run, destroys the timer window and every change list.
    // Must run on the thread that called Start.
    ~CExtensionMonitor() override;

    // Creates the timer window, starts the watchers (a third one over the per-user classes on a
    // system that protects the per-user choice) and takes the first snapshot. 1 on success;
    // 0 when pCallbacks is null, the monitor already runs, or the window, a watched key, an event
    // or a thread cannot be had (nothing is left running then).
    int Start(CKVExtMonitorCallbacks* pCallbacks) override;
    // Asks both watchers to end and gives each up to kStopWaitMs. A watcher that is still busy
    // after that ends on its own later without touching the monitor. No comparison runs after Stop.
    void Stop() override;
    // 1 while a watcher thread runs.
    int IsRunning() const;

    // Compares the registry with the snapshots, records and notifies (timer handler).
    void HandleChanges();
    // Reads every per-user choice and every classes-root default. notify = 0: fills the snapshots
    // (Start). notify = 1: compares each value with its snapshot; returns 1 when any comparison
    // found a difference, and sets *pNewChangeRecorded when a change list grew.
    int ScanAssociations(int notify, int* pNewChangeRecorded = nullptr);
    // One per-user choice read now (empty when there is none) against the snapshots; 1 on a difference.
    int CompareUserChoice(const std::wstring& extension, const std::wstring& value, int* pNewChangeRecorded = nullptr);
    // One classes-root default read now against the snapshots; 1 on a difference.
    int CompareClasses(const std::wstring& extension, const std::wstring& value, int* pNewChangeRecorded = nullptr);

    // Writes the type as the current user's choice for the extension, makes it the snapshot and
    // forgets the extension's change list. 1 when written; 0 (and nothing changed) otherwise.
    // The type may be an element of the change list it forgets.
    int ApplyAssociation(const std::wstring& extension, const CFileTypeInfo& type) override;
    // Deletes the extension's change list; 1 also when there was none.
    int ForgetChange(const std::wstring& extension);
    // The next change of this extension's per-user choice is the program's own.
    void ExpectUserChoiceChange(const std::wstring& extension) override;

    // The suspend counter: while above 0, changes only update the snapshots. Any thread. The step
    // back to 0 first runs one more comparison on the user-interface thread (directly there, sent
    // from other threads), so the program's writes of the suspended period are in the snapshots
    // before recording resumes, however late their notifications come.
    void SuspendRecording() override;
    void ResumeRecording() override;
    unsigned int GetSuspendCount() const { return m_nSuspendCount.load(); }
    // The recording switch (initially 0). Any thread.
    void SetEnabled(int bEnabled) override { m_bEnabled = bEnabled ? 1 : 0; }
    int IsEnabled() const { return m_bEnabled.load(); }

    // The recorded changes (the map handed to the callbacks).
    ExtensionChangeMap* GetChanges() const { return m_pChanges.get(); }
    const ExtensionTextMap& GetClassesSnapshot() const { return m_mapClasses; }
    const ExtensionTextMap& GetUserChoiceSnapshot() const { return m_mapUserChoices; }
    // Comparisons run so far by the timer or after a resume (diagnostics and tests).
    unsigned long GetComparisonCount() const { return m_nComparisons; }

    // How long Stop waits for each watcher.
    static constexpr DWORD kStopWaitMs = 10000;
    // How long another thread's resume waits for the user-interface thread to compare.
    static constexpr DWORD kCatchUpWaitMs = 5000;

private:
    friend class CMonitorTimerWnd;
    // A watcher saw a change (on the user-interface thread, through the timer window).
    void OnChangeNotified(WPARAM generation);
    // The comparison before the counter returns to 0; false when it cannot run now.
    bool OnCatchUp();
    bool CatchUp();
    // The counter returned to 0 without that comparison.
    void OnRecordingResumed();
    void RunComparison(bool quiet);
    bool RecordingAllowed() const;
    // Appends to the extension's change list, creating it from `oldValue` first when it is new.
    void RecordChange(const std::wstring& extension, const std::wstring& oldValue, const std::wstring& newValue,
                      int* pNewChangeRecorded);
    // A file type filled by the reader for a snapshot value (ProgID or "Applications\<exe>").
    std::unique_ptr<CFileTypeInfo> ReadType(const std::wstring& extension, const std::wstring& value) const;
    // The per-user choice as the snapshots hold it: "ProgID", else "Applications\" + "Application".
    std::wstring ReadUserChoice(const std::wstring& extension) const;
    void DeleteChangeList(std::list<IFileTypeInfo*>& list);
    void EndWatchers();

    CFileExtRegUtil m_util;

    win::UniqueKernelHandle m_hThreadClasses;
    win::UniqueKernelHandle m_hThreadUser;
    // Watches the per-user classes, where a protected system keeps the per-user association.
    win::UniqueKernelHandle m_hThreadUserClasses;
    // Flags and events shared with the watcher threads; outlives the monitor while a thread runs.
    std::shared_ptr<CMonitorWatchState> m_pWatch;
    WPARAM m_nGeneration = 0;

    std::atomic<unsigned int> m_nSuspendCount{0};
    std::atomic<int> m_bEnabled{0};
    std::atomic<LONG> m_bResumePending{0};
    std::atomic<HWND> m_hTimerWnd{nullptr};  // for posts from other threads; cleared before it goes

    // Set by Start and cleared by Stop on the user-interface thread; read by resuming workers.
    std::atomic<int> m_bStarted{0};

    // User-interface thread only.
    int m_bHandlingChanges = 0;
    int m_bChangePending = 0;   // a notification arrived while HandleChanges ran
    int m_bQuietComparison = 0;
    unsigned long m_nComparisons = 0;
    std::unique_ptr<CMonitorTimerWnd> m_pTimerWnd;
    ExtensionTextMap m_mapClasses;
    ExtensionTextMap m_mapUserChoices;
    std::unique_ptr<ExtensionChangeMap> m_pChanges;
    std::map<std::wstring, int> m_mapExpected;
    CKVExtMonitorCallbacks* m_pCallbacks = nullptr;
};
