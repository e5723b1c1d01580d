#pragma once
// The user's weekly scan schedules: scheduler jobs named APPNAME + "_sch_" + GUID (and the default
// scan job), listed, read, added, changed and deleted by index. Every indexed operation returns 0
// on success and -1 on any failure. COM must be initialised on the calling thread.
#include <windows.h>
#include <mstask.h>

#include <string>
#include <vector>

#include "win/ComPtr.h"

// One weekly schedule as the schedule page edits it.
struct ScheduleInfo {
    int m_nDays = 0;  // Sunday 0x01 .. Saturday 0x40; 127 every day
    int m_nHour = 0;  // 0 to 23
    int m_nMinute = 0;  // 0 to 59
    std::wstring m_strWorkingFolder;
    std::wstring m_strProgram;
    std::wstring m_strParameters;
};

class CScheduleManager {
public:
    CScheduleManager();
    virtual ~CScheduleManager();
    CScheduleManager(const CScheduleManager&) = delete;
    CScheduleManager& operator=(const CScheduleManager&) = delete;

    // Opens the scheduler and appends the names of the program's jobs that can be opened.
    virtual void Load(const std::wstring& userName, const std::wstring& domainName, const std::wstring& appName);
    // Forgets all names; the jobs stay.
    virtual void Clear();
    virtual int GetCount();
    // Text of the job's first trigger; `text` is unchanged when there is none.
    virtual int GetDescription(int index, std::wstring& text);
    virtual int GetName(int index, std::wstring& name);
    virtual int GetSchedule(int index, ScheduleInfo& info);
    virtual int AddSchedule(const ScheduleInfo& info);
    virtual int UpdateSchedule(int index, const ScheduleInfo& info);
    virtual int DeleteSchedule(int index);

private:
    bool IsValidIndex(int index) const;
    win::ComPtr<ITask> OpenJob(int index) const;

    std::vector<std::wstring> m_arrNames;
    std::wstring m_strUserName;
    std::wstring m_strDomainName;
    std::wstring m_strAppName;
    win::ComPtr<ITaskScheduler> m_pScheduler;
};

// True when a job name (without its ".job" ending) is one of the schedules of `appName`: ignoring
// case, the default scan job or a name starting with appName + "_sch_".
bool IsScheduleJobName(const std::wstring& jobName, const std::wstring& appName);
// appName + "_sch_" + a new sequential GUID in upper case without braces.
std::wstring NewScheduleJobName(const std::wstring& appName);
