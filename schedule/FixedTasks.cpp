#include "schedule/FixedTasks.h"

#include "framework/Profile.h"
#include "schedule/ScheduleManager.h"
#include "schedule/Scheduler.h"
#include "win/ComPtr.h"
#include "win/Strings.h"

namespace {

const wchar_t kFallbackAppName[] = L"Kavendor";
const wchar_t kRunAtSystemStart[] = L"RunAtSystemStart";

// The classic C library generator (multiplier 214013, increment 2531011, 15 bits out), kept per
// call so the sequence depends on the seed alone.
class CRandom {
public:
    explicit CRandom(unsigned seed) : m_nState(seed) {}
    unsigned Next() {
        m_nState = m_nState * 214013u + 2531011u;
        return (m_nState >> 16) & 0x7FFFu;
    }

private:
    unsigned m_nState;
};

const std::wstring& NameBase(const std::wstring& appName) {
    static const std::wstring fallback = kFallbackAppName;
    return appName.empty() ? fallback : appName;
}

std::wstring ProgramPath(const ScheduledTaskProduct& product) {
    return product.m_strAppFolder + L"\\" + product.m_strExeName;
}

std::wstring WorkingFolder(const ScheduledTaskProduct& product) { return product.m_strAppFolder + L"\\"; }

SYSTEMTIME Today() {
    SYSTEMTIME today = {};
    ::GetLocalTime(&today);
    return today;
}

TASK_TRIGGER EmptyTrigger(const SYSTEMTIME& today) {
    TASK_TRIGGER trigger = {};
    trigger.cbTriggerSize = sizeof(TASK_TRIGGER);
    trigger.wBeginYear = today.wYear;
    trigger.wBeginMonth = today.wMonth;
    trigger.wBeginDay = today.wDay;
    return trigger;
}

void WriteRunAtSystemStart(const ScheduledTaskProduct& product, UINT value) {
    if (product.m_pProfile) product.m_pProfile->WriteInt(kRunAtSystemStart, value);
}

bool IsYes(const std::wstring& value) { return win::EqualsNoCase(value, L"1"); }
bool IsNoOrEmpty(const std::wstring& value) { return value.empty() || win::EqualsNoCase(value, L"0"); }

}  // namespace

std::wstring DefaultScanTaskName(const std::wstring& appName) { return NameBase(appName) + L" Default"; }

std::wstring StartupTaskName(const std::wstring& appName) { return NameBase(appName) + L" Startup"; }

TASK_TRIGGER MakeDefaultScanTrigger(unsigned seed, bool sundayOnly, const SYSTEMTIME& today) {
    TASK_TRIGGER trigger = EmptyTrigger(today);
    trigger.TriggerType = TASK_TIME_TRIGGER_WEEKLY;
    trigger.Type.Weekly.WeeksInterval = 1;
    CRandom random(seed);
    // Early morning, never on the hour's last minute, on two days spread over the week.
    trigger.wStartHour = static_cast<WORD>(random.Next() % 5);
    trigger.wStartMinute = static_cast<WORD>(random.Next() % 59);
    static const WORD kDayPairs[3] = {0x09, 0x22, 0x44};
    WORD days = kDayPairs[random.Next() % 3];
    trigger.Type.Weekly.rgfDaysOfTheWeek = sundayOnly ? WORD(0x01) : days;
    return trigger;
}

TASK_TRIGGER MakeStartupTrigger(const SYSTEMTIME& today) {
    TASK_TRIGGER trigger = EmptyTrigger(today);
    trigger.TriggerType = TASK_EVENT_TRIGGER_AT_LOGON;
    return trigger;
}

void CreateDefaultScanTask(const ScheduledTaskProduct& product, bool sundayOnly) {
    const std::wstring name = DefaultScanTaskName(product.m_strAppName);
    Scheduler scheduler(ProgramPath(product));
    if (scheduler.TaskExists(name)) return;  // the user's own choice of time stays
    const TASK_TRIGGER trigger = MakeDefaultScanTrigger(::GetTickCount(), sundayOnly, Today());
    win::ComInit com;
    if (com.ok()) scheduler.CreateTask(name, WorkingFolder(product), product.m_strAppName, &trigger, L"-scan");
}

bool DeleteDefaultScanTask(const ScheduledTaskProduct& product) {
    Scheduler scheduler;
    return scheduler.DeleteTask(DefaultScanTaskName(product.m_strAppName));
}

void CreateStartupTask(const ScheduledTaskProduct& product) {
    const std::wstring name = StartupTaskName(product.m_strAppName);
    Scheduler scheduler(ProgramPath(product));
    if (!scheduler.TaskExists(name)) {
        const TASK_TRIGGER trigger = MakeStartupTrigger(Today());
        win::ComInit com;
        if (com.ok()) scheduler.CreateTask(name, WorkingFolder(product), product.m_strAppName, &trigger, L"-tray");
    }
    WriteRunAtSystemStart(product, 1);
}

bool DeleteStartupTask(const ScheduledTaskProduct& product) {
    Scheduler scheduler;
    bool deleted = scheduler.DeleteTask(StartupTaskName(product.m_strAppName));
    WriteRunAtSystemStart(product, 0);
    return deleted;
}

InstallerTaskResult ApplyInstallerTaskChoices(const std::wstring& scheduledScan, const std::wstring& startupLogin,
                                              DWORD silent, const ScheduledTaskProduct& product) {
    InstallerTaskResult result;
    if (IsYes(scheduledScan)) {
        CreateDefaultScanTask(product, false);
    } else if (silent == 0 && IsNoOrEmpty(scheduledScan)) {
        DeleteDefaultScanTask(product);
        result.m_bStartUpdateDeleteTask = true;
    }
    if (IsYes(startupLogin)) {
        CreateStartupTask(product);
    } else if (silent == 0 && IsNoOrEmpty(startupLogin)) {
        DeleteStartupTask(product);
    }
    return result;
}

int RemoveAllScheduledTasks(const ScheduledTaskProduct& product, const std::wstring& userName,
                            const std::wstring& domainName) {
    int left = 0;
    {
        win::ComInit com;
        CScheduleManager manager;
        manager.Load(userName, domainName, product.m_strAppName);
        // Each listed job is tried once; one that cannot be deleted does not keep the ones after
        // it from going.
        const int count = manager.GetCount();
        int index = 0;
        for (int i = 0; i < count; ++i) {
            if (manager.DeleteSchedule(index) != 0) {
                ++index;
                ++left;
            }
        }
    }
    // The default job may have gone with the schedules already; deleting it again is harmless.
    DeleteDefaultScanTask(product);
    DeleteStartupTask(product);
    return left;
}
