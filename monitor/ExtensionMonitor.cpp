#include "monitor/ExtensionMonitor.h"

#include <algorithm>
#include <vector>

#include "monitor/MonitorTimerWnd.h"
#include "monitor/MonitorWatcher.h"
#include "monitor/UserChoiceWriter.h"
#include "win/Debug.h"
#include "win/Strings.h"

namespace {

constexpr std::wstring_view kApplicationsPrefix = L"Applications\\";

bool StartsWithNoCase(const std::wstring& text, std::wstring_view head) {
    return text.size() >= head.size() && win::EqualsNoCase(std::wstring_view(text).substr(0, head.size()), head);
}

bool ThreadAlive(const win::UniqueKernelHandle& thread) {
    return thread && ::WaitForSingleObject(thread.get(), 0) == WAIT_TIMEOUT;
}

// Appends an owned element; the list owns it only once the append has succeeded.
void AppendOwned(std::list<IFileTypeInfo*>& list, std::unique_ptr<CFileTypeInfo> type) {
    list.push_back(type.get());
    type.release();
}

}  // namespace

CExtensionMonitor::CExtensionMonitor() : CExtensionMonitor(win::RegistryRoots{}, AssocPlatform::Detect()) {}

CExtensionMonitor::CExtensionMonitor(const win::RegistryRoots& roots, const AssocPlatform& platform)
    : m_util(roots, platform), m_pChanges(std::make_unique<ExtensionChangeMap>()) {}

CExtensionMonitor::~CExtensionMonitor() {
    Stop();
    m_hTimerWnd = nullptr;
    m_pTimerWnd.reset();
    for (auto& entry : *m_pChanges) DeleteChangeList(entry.second);
    m_pChanges->clear();
}

// ---- Life cycle ----

int CExtensionMonitor::IsRunning() const {
    return ThreadAlive(m_hThreadClasses) || ThreadAlive(m_hThreadUser) || ThreadAlive(m_hThreadUserClasses);
}

int CExtensionMonitor::Start(CKVExtMonitorCallbacks* pCallbacks) {
    if (!pCallbacks || IsRunning()) return 0;
    try {
        // Watchers that ended on their own (a failed request) leave only their handles behind.
        EndWatchers();
        m_pCallbacks = pCallbacks;

        auto watch = std::make_shared<CMonitorWatchState>();
        if (!watch->Create()) return 0;

        win::RegKey classesKey;
        if (!m_util.OpenKey(m_util.ClassesRoot(), L"", KEY_NOTIFY, classesKey)) return 0;
        win::RegKey userKey;
        // A profile that never had a per-user association has no FileExts key yet; an empty one
        // is what the shell creates anyway, and it can be watched.
        if (!m_util.OpenKey(m_util.CurrentUser(), KV_FILEEXTS_KEY, KEY_NOTIFY, userKey) &&
            !m_util.CreateKey(m_util.CurrentUser(), KV_FILEEXTS_KEY, KEY_NOTIFY, userKey))
            return 0;
        win::RegKey userClassesKey;
        const bool watchUserClasses = m_util.m_bProtectedUserChoice != 0;
        if (watchUserClasses &&
            !m_util.OpenKey(m_util.CurrentUser(), KV_USER_CLASSES_KEY, KEY_NOTIFY, userClassesKey) &&
            !m_util.CreateKey(m_util.CurrentUser(), KV_USER_CLASSES_KEY, KEY_NOTIFY, userClassesKey))
            return 0;

        if (!m_pTimerWnd) {
            auto window = std::make_unique<CMonitorTimerWnd>(this);
            if (!window->Create()) return 0;
            m_pTimerWnd = std::move(window);
            m_hTimerWnd = m_pTimerWnd->m_hWnd;
        }

        watch->m_nGeneration = ++m_nGeneration;
        watch->SetWindow(m_pTimerWnd->m_hWnd);
        m_pWatch = watch;
        m_hThreadClasses = StartWatcherThread(watch, std::move(classesKey), watch->m_hEventClasses.get());
        if (!m_hThreadClasses) {
            EndWatchers();
            return 0;
        }
        m_hThreadUser = StartWatcherThread(watch, std::move(userKey), watch->m_hEventUser.get());
        if (!m_hThreadUser) {
            EndWatchers();
            return 0;
        }
        if (watchUserClasses) {
            m_hThreadUserClasses =
                StartWatcherThread(watch, std::move(userClassesKey), watch->m_hEventUserClasses.get());
            if (!m_hThreadUserClasses) {
                EndWatchers();
                return 0;
            }
        }
        // The first snapshot follows the first notification requests, so no change falls between.
        for (int started = 0; started < (watchUserClasses ? 3 : 2); ++started)
            if (::WaitForSingleObject(watch->m_hStarted.get(), kStopWaitMs) != WAIT_OBJECT_0) break;

        m_bChangePending = 0;
        m_bResumePending = 0;
        m_mapClasses.clear();
        m_mapUserChoices.clear();
        ScanAssociations(0);
        m_bStarted = 1;
        return 1;
    } catch (...) {
        EndWatchers();
        return 0;
    }
}

void CExtensionMonitor::Stop() {
    m_bStarted = 0;
    m_bChangePending = 0;
    if (m_pTimerWnd) m_pTimerWnd->CancelTimer();
    EndWatchers();
}

void CExtensionMonitor::EndWatchers() {
    if (m_pWatch) m_pWatch->RequestStop();
    // A watcher still busy after its wait keeps the shared state alive and ends on its own.
    if (m_hThreadClasses) ::WaitForSingleObject(m_hThreadClasses.get(), kStopWaitMs);
    m_hThreadClasses.reset();
    if (m_hThreadUser) ::WaitForSingleObject(m_hThreadUser.get(), kStopWaitMs);
    m_hThreadUser.reset();
    if (m_hThreadUserClasses) ::WaitForSingleObject(m_hThreadUserClasses.get(), kStopWaitMs);
    m_hThreadUserClasses.reset();
    if (m_pWatch) {
        m_pWatch->SetWindow(nullptr);
        m_pWatch.reset();
    }
}

// ---- Notifications (user-interface thread) ----

void CExtensionMonitor::OnChangeNotified(WPARAM generation) {
    // Notifications of an earlier Start may still be queued.
    if (!m_pWatch || generation != m_nGeneration) return;
    // From here on a new notification posts anew.
    m_pWatch->ChangeTaken();
    if (!m_bStarted || !m_pTimerWnd) return;
    if (m_bHandlingChanges) {
        // A callback is pumping messages inside a comparison: compare again once it is done.
        m_bChangePending = 1;
        return;
    }
    m_pTimerWnd->RestartTimer();
}

bool CExtensionMonitor::OnCatchUp() {
    if (!m_bStarted) return true;
    // Inside a comparison (a callback resumed): compared again once it ends.
    if (m_bHandlingChanges) return false;
    // This comparison reads everything a pending timer would.
    if (m_pTimerWnd) m_pTimerWnd->CancelTimer();
    RunComparison(true);
    return true;
}

void CExtensionMonitor::OnRecordingResumed() {
    if (!m_bStarted) {
        m_bResumePending = 0;
        return;
    }
    // Suspended again meanwhile: the next resume asks anew. Inside a comparison: asked at its end.
    if (m_nSuspendCount.load() > 0 || m_bHandlingChanges) return;
    if (!m_bResumePending.exchange(0)) return;
    // This comparison reads everything a pending timer would.
    if (m_pTimerWnd) m_pTimerWnd->CancelTimer();
    RunComparison(true);
}

void CExtensionMonitor::RunComparison(bool quiet) {
    m_bQuietComparison = quiet ? 1 : 0;
    HandleChanges();
    m_bQuietComparison = 0;
}

void CExtensionMonitor::HandleChanges() {
    if (!m_bStarted || m_bHandlingChanges) return;
    win::DebugOut(L"Handling Changes\n");
    m_bHandlingChanges = 1;
    ++m_nComparisons;
    try {
        int newChangeRecorded = 0;
        if (ScanAssociations(1, &newChangeRecorded) && m_pCallbacks)
            m_pCallbacks->OnMonitoredChanges(m_pChanges.get(), newChangeRecorded);
    } catch (...) {
        // Out of memory half-way: the snapshots stay as far as they got; the next change compares again.
    }
    m_bHandlingChanges = 0;
    if (!m_bStarted) return;
    if (m_bResumePending && m_nSuspendCount.load() == 0) {
        if (HWND hwnd = m_hTimerWnd.load()) ::PostMessageW(hwnd, KV_WM_MONITOR_RESUMED, 0, 0);
    }
    if (m_bChangePending && m_pTimerWnd) {
        m_bChangePending = 0;
        m_pTimerWnd->RestartTimer();
    }
}

// ---- Comparison ----

bool CExtensionMonitor::RecordingAllowed() const {
    return m_nSuspendCount.load() == 0 && m_bEnabled.load() != 0 && !m_bQuietComparison;
}

std::wstring CExtensionMonitor::ReadUserChoice(const std::wstring& extension) const {
    const HKEY user = m_util.CurrentUser();
    const std::wstring key = m_util.UserChoiceReadKey(extension);
    std::wstring value = m_util.ReadValue(user, key, L"ProgID");
    if (value.empty()) {
        // An application chosen by name is held as the reader names its type.
        std::wstring application = m_util.ReadValue(user, key, L"Application");
        if (!application.empty()) value = std::wstring(kApplicationsPrefix) + application;
    }
    return value;
}

int CExtensionMonitor::ScanAssociations(int notify, int* pNewChangeRecorded) {
    int difference = 0;
    int newChangeRecorded = 0;
    std::vector<std::wstring> extensions;

    auto userPart = [&] {
        extensions.clear();
        m_util.EnumExtensionKeys(m_util.CurrentUser(), extensions);
        for (const std::wstring& extension : extensions) {
            std::wstring value = ReadUserChoice(extension);
            if (notify) {
                if (CompareUserChoice(extension, value, &newChangeRecorded)) difference = 1;
            } else if (!value.empty()) {
                m_mapUserChoices.emplace(extension, std::move(value));
            }
        }
    };
    auto classesPart = [&] {
        extensions.clear();
        m_util.EnumExtensionKeys(m_util.ClassesRoot(), extensions);
        std::vector<std::wstring> perUser;
        if (m_util.m_bProtectedUserChoice) {
            // The per-user classes belong to the classes view; an extension found in both is
            // compared once. Only extensions with a per-user key have a per-user default to read.
            m_util.EnumUserClassesExtensionKeys(perUser);
            std::sort(perUser.begin(), perUser.end());
            extensions.insert(extensions.end(), perUser.begin(), perUser.end());
            std::sort(extensions.begin(), extensions.end());
            extensions.erase(std::unique(extensions.begin(), extensions.end()), extensions.end());
        }
        for (const std::wstring& extension : extensions) {
            std::wstring value;
            if (std::binary_search(perUser.begin(), perUser.end(), extension))
                value = m_util.ReadUserClassesDefault(extension);
            if (value.empty()) value = m_util.ReadValue(m_util.ClassesRoot(), extension, L"");
            if (notify) {
                if (CompareClasses(extension, value, &newChangeRecorded)) difference = 1;
            } else if (!value.empty()) {
                m_mapClasses.emplace(extension, std::move(value));
            }
        }
    };
    if (m_util.m_bProtectedUserChoice) {
        // A change of the per-user association there removes the choice and sets the per-user
        // classes default at once: the classes view is taken in first, so the removal compares
        // against the new default and is recorded once, from the old choice to the new type.
        classesPart();
        userPart();
    } else {
        userPart();
        classesPart();
    }

    if (pNewChangeRecorded) *pNewChangeRecorded = newChangeRecorded;
    return difference;
}

int CExtensionMonitor::CompareUserChoice(const std::wstring& extension, const std::wstring& value,
                                         int* pNewChangeRecorded) {
    std::wstring oldValue;
    std::wstring newValue;
    auto known = m_mapUserChoices.find(extension);
    if (known == m_mapUserChoices.end()) {
        // A first user choice differs only from a classes-root default it replaces.
        if (value.empty()) return 0;
        m_mapUserChoices.emplace(extension, value);
        auto classes = m_mapClasses.find(extension);
        if (classes == m_mapClasses.end() || classes->second.empty()) return 0;
        if (win::EqualsNoCase(value, classes->second)) return 0;
        oldValue = classes->second;
        newValue = value;
    } else {
        if (win::EqualsNoCase(value, known->second)) return 0;
        oldValue = known->second;
        if (!value.empty()) {
            known->second = value;
            newValue = value;
        } else {
            // The choice was removed: the classes-root default decides again.
            m_mapUserChoices.erase(known);
            auto classes = m_mapClasses.find(extension);
            if (classes == m_mapClasses.end() || classes->second.empty()) return 0;
            if (win::EqualsNoCase(classes->second, oldValue)) return 0;
            newValue = classes->second;
        }
    }
    auto expected = m_mapExpected.find(extension);
    if (expected != m_mapExpected.end()) {
        m_mapExpected.erase(expected);
        return 1;
    }
    RecordChange(extension, oldValue, newValue, pNewChangeRecorded);
    return 1;
}

int CExtensionMonitor::CompareClasses(const std::wstring& extension, const std::wstring& value,
                                      int* pNewChangeRecorded) {
    auto known = m_mapClasses.find(extension);
    if (known == m_mapClasses.end()) {
        // A new extension enters the snapshot silently.
        if (!value.empty()) m_mapClasses.emplace(extension, value);
        return 0;
    }
    auto choice = m_mapUserChoices.find(extension);
    const bool userDecides = choice != m_mapUserChoices.end() && !choice->second.empty();
    if (!userDecides && win::EqualsNoCase(value, known->second)) return 0;
    const std::wstring oldValue = known->second;
    if (value.empty())
        m_mapClasses.erase(known);
    else
        known->second = value;
    // While a user choice exists, the classes-root default does not decide the program.
    if (userDecides) return 0;
    if (m_util.m_bProtectedUserChoice) {
        // There the program's own per-user change arrives as a change of the classes view.
        auto expected = m_mapExpected.find(extension);
        if (expected != m_mapExpected.end()) {
            m_mapExpected.erase(expected);
            return 1;
        }
    }
    RecordChange(extension, oldValue, value, pNewChangeRecorded);
    return 1;
}

std::unique_ptr<CFileTypeInfo> CExtensionMonitor::ReadType(const std::wstring& extension,
                                                           const std::wstring& value) const {
    auto type = std::make_unique<CFileTypeInfo>(value);
    type->m_bApplication = StartsWithNoCase(value, kApplicationsPrefix) ? 1 : 0;
    m_util.ReadFileType(extension, *type);
    return type;
}

void CExtensionMonitor::RecordChange(const std::wstring& extension, const std::wstring& oldValue,
                                     const std::wstring& newValue, int* pNewChangeRecorded) {
    if (!RecordingAllowed() || newValue.empty()) return;
    auto [entry, created] = m_pChanges->try_emplace(extension);
    std::list<IFileTypeInfo*>& list = entry->second;
    if (created || list.empty()) AppendOwned(list, ReadType(extension, oldValue));
    AppendOwned(list, ReadType(extension, newValue));
    if (pNewChangeRecorded) *pNewChangeRecorded = 1;
}

// ---- Operations of the engine ----

void CExtensionMonitor::DeleteChangeList(std::list<IFileTypeInfo*>& list) {
    for (IFileTypeInfo* type : list) delete type;
    list.clear();
}

int CExtensionMonitor::ForgetChange(const std::wstring& extension) {
    // A copy: the caller's text may be the key of the entry erased here.
    const std::wstring key = win::ToLower(extension);
    auto entry = m_pChanges->find(key);
    if (entry != m_pChanges->end()) {
        DeleteChangeList(entry->second);
        m_pChanges->erase(entry);
    }
    return 1;
}

int CExtensionMonitor::ApplyAssociation(const std::wstring& extension, const CFileTypeInfo& type) {
    try {
        // Both arguments may belong to the change list forgotten below.
        const std::wstring key = win::ToLower(extension);
        if (!WriteMonitoredUserChoice(m_util, key, type)) return 0;
        // The snapshot takes what the registry now holds, so the comparison that follows the write
        // finds nothing to report.
        if (m_util.m_bProtectedUserChoice) {
            // The choice is gone; the per-user classes default names the type.
            m_mapUserChoices.erase(key);
            std::wstring written = m_util.ReadClassesDefault(key);
            if (written.empty()) written = type.GetProgID();
            m_mapClasses[key] = std::move(written);
        } else {
            std::wstring written = ReadUserChoice(key);
            if (written.empty()) written = type.GetProgID();
            m_mapUserChoices[key] = std::move(written);
        }
        ForgetChange(key);
        return 1;
    } catch (...) {
        return 0;
    }
}

void CExtensionMonitor::ExpectUserChoiceChange(const std::wstring& extension) {
    try {
        m_mapExpected[win::ToLower(extension)] = 0;
    } catch (...) {
    }
}

void CExtensionMonitor::SuspendRecording() { ++m_nSuspendCount; }

void CExtensionMonitor::ResumeRecording() {
    unsigned int count = m_nSuspendCount.load();
    const bool caughtUp = count == 1 && CatchUp();
    while (count > 0 && !m_nSuspendCount.compare_exchange_weak(count, count - 1)) {
    }
    if (count != 1 || caughtUp) return;  // not the step to 0, or nothing left to do
    m_bResumePending = 1;
    if (HWND hwnd = m_hTimerWnd.load()) ::PostMessageW(hwnd, KV_WM_MONITOR_RESUMED, 0, 0);
}

bool CExtensionMonitor::CatchUp() {
    if (!m_bStarted.load()) return true;  // nothing is watched, nothing to take in
    const HWND hwnd = m_hTimerWnd.load();
    if (!hwnd) return true;
    if (::GetWindowThreadProcessId(hwnd, nullptr) == ::GetCurrentThreadId()) return OnCatchUp();
    // A worker (the repair) waits while the user-interface thread compares; bounded, so a
    // user-interface thread that waits for this worker delays it only briefly.
    DWORD_PTR answer = 0;
    return ::SendMessageTimeoutW(hwnd, KV_WM_MONITOR_CATCH_UP, 0, 0, SMTO_ABORTIFHUNG, kCatchUpWaitMs, &answer) &&
           answer == 1;
}
