#include "schedule/ScheduleManager.h"

#include <shlobj.h>
#include <rpc.h>

#include <cstring>

#include "schedule/AccountInfo.h"
#include "schedule/Scheduler.h"
#include "schedule/TriggerText.h"
#include "win/CoTaskMemory.h"
#include "win/Debug.h"
#include "win/Paths.h"
#include "win/Strings.h"

namespace {

constexpr int kEveryDay = 127;

bool IsValidSchedule(const ScheduleInfo& info) {
    return info.m_nHour >= 0 && info.m_nHour <= 23 && info.m_nMinute >= 0 && info.m_nMinute <= 59 &&
           info.m_nDays > 0 && info.m_nDays <= kEveryDay;
}

void SetWeekly(TASK_TRIGGER& trigger, WORD weeksInterval, const ScheduleInfo& info) {
    trigger.TriggerType = TASK_TIME_TRIGGER_WEEKLY;
    std::memset(&trigger.Type, 0, sizeof(trigger.Type));
    trigger.Type.Weekly.WeeksInterval = weeksInterval;
    trigger.Type.Weekly.rgfDaysOfTheWeek = static_cast<WORD>(info.m_nDays);
    trigger.wStartHour = static_cast<WORD>(info.m_nHour);
    trigger.wStartMinute = static_cast<WORD>(info.m_nMinute);
}

std::wstring TakeText(win::CoTaskString& text) { return text ? std::wstring(text.get()) : std::wstring(); }

// The job's first trigger, with its settings in `data`; null when it has none or cannot be read.
win::ComPtr<ITaskTrigger> FirstTrigger(ITask* task, TASK_TRIGGER& data) {
    win::ComPtr<ITaskTrigger> trigger;
    if (FAILED(task->GetTrigger(0, trigger.put())) || !trigger) return {};
    data = {};
    data.cbTriggerSize = sizeof(data);
    if (FAILED(trigger->GetTrigger(&data))) return {};
    return trigger;
}

}  // namespace

bool IsScheduleJobName(const std::wstring& jobName, const std::wstring& appName) {
    if (win::EqualsNoCase(jobName, appName + L" Default")) return true;
    const std::wstring prefix = appName + L"_sch_";
    return jobName.size() >= prefix.size() && win::EqualsNoCase(std::wstring_view(jobName).substr(0, prefix.size()), prefix);
}

std::wstring NewScheduleJobName(const std::wstring& appName) {
    UUID uuid = {};
    RPC_STATUS status = ::UuidCreateSequential(&uuid);
    if (status != RPC_S_OK && status != RPC_S_UUID_LOCAL_ONLY) {
        if (FAILED(::CoCreateGuid(&uuid))) return {};
    }
    wchar_t text[40] = {};
    if (::StringFromGUID2(uuid, text, 40) != 39) return {};
    return appName + L"_sch_" + std::wstring(text + 1, 36);
}

CScheduleManager::CScheduleManager() = default;

CScheduleManager::~CScheduleManager() = default;

void CScheduleManager::Load(const std::wstring& userName, const std::wstring& domainName, const std::wstring& appName) {
    m_strUserName = userName;
    m_strDomainName = domainName;
    m_strAppName = appName;
    win::ComPtr<ITaskScheduler> scheduler;
    if (FAILED(::CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                  scheduler.put_void())) ||
        !scheduler)
        return;
    m_pScheduler = scheduler;

    win::ComPtr<IEnumWorkItems> items;
    if (FAILED(m_pScheduler->Enum(items.put())) || !items) return;
    for (;;) {
        win::CoTaskStringArray names;
        ULONG fetched = 0;
        HRESULT hr = items->Next(1, names.put(), &fetched);
        names.set_size(fetched);
        if (hr != S_OK || names.size() == 0 || !names.get()[0]) break;
        std::wstring name = names.get()[0];
        size_t dot = name.rfind(L'.');
        if (dot != std::wstring::npos) name.resize(dot);
        if (!IsScheduleJobName(name, m_strAppName) || !IsValidJobName(name)) continue;
        win::ComPtr<ITask> task;
        if (SUCCEEDED(m_pScheduler->Activate(name.c_str(), IID_ITask, reinterpret_cast<IUnknown**>(task.put()))) &&
            task)
            m_arrNames.push_back(name);
    }
}

void CScheduleManager::Clear() { m_arrNames.clear(); }

int CScheduleManager::GetCount() { return static_cast<int>(m_arrNames.size()); }

bool CScheduleManager::IsValidIndex(int index) const {
    return m_pScheduler && index >= 0 && static_cast<size_t>(index) < m_arrNames.size();
}

win::ComPtr<ITask> CScheduleManager::OpenJob(int index) const {
    win::ComPtr<ITask> task;
    if (!IsValidIndex(index)) return task;
    if (FAILED(m_pScheduler->Activate(m_arrNames[static_cast<size_t>(index)].c_str(), IID_ITask,
                                      reinterpret_cast<IUnknown**>(task.put()))))
        task.reset();
    return task;
}

int CScheduleManager::GetDescription(int index, std::wstring& text) {
    auto task = OpenJob(index);
    if (!task) return -1;
    win::CoTaskString platformText;
    if (SUCCEEDED(task->GetTriggerString(0, platformText.put())) && platformText) {
        text = platformText.get();
        return 0;
    }
    // The platform may have no text of its own: describe the trigger ourselves.
    TASK_TRIGGER data = {};
    if (FirstTrigger(task.get(), data)) text = DescribeTrigger(data);
    return 0;
}

int CScheduleManager::GetName(int index, std::wstring& name) {
    if (!IsValidIndex(index)) return -1;
    name = m_arrNames[static_cast<size_t>(index)];
    return 0;
}

int CScheduleManager::GetSchedule(int index, ScheduleInfo& info) {
    auto task = OpenJob(index);
    if (!task) return -1;
    TASK_TRIGGER data = {};
    if (!FirstTrigger(task.get(), data)) return -1;

    ScheduleInfo result = info;
    win::CoTaskString program, folder, parameters;
    result.m_strProgram = SUCCEEDED(task->GetApplicationName(program.put())) ? TakeText(program) : std::wstring();
    result.m_strWorkingFolder = SUCCEEDED(task->GetWorkingDirectory(folder.put())) ? TakeText(folder) : std::wstring();
    result.m_strParameters = SUCCEEDED(task->GetParameters(parameters.put())) ? TakeText(parameters) : std::wstring();
    result.m_nHour = data.wStartHour;
    result.m_nMinute = data.wStartMinute;
    if (data.TriggerType == TASK_TIME_TRIGGER_DAILY)
        result.m_nDays = kEveryDay;
    else if (data.TriggerType == TASK_TIME_TRIGGER_WEEKLY)
        result.m_nDays = data.Type.Weekly.rgfDaysOfTheWeek;
    info = std::move(result);
    return 0;
}

int CScheduleManager::AddSchedule(const ScheduleInfo& info) {
    if (!m_pScheduler || !IsValidSchedule(info)) return -1;
    const std::wstring name = NewScheduleJobName(m_strAppName);
    if (!IsValidJobName(name)) return -1;
    win::ComPtr<ITask> task;
    if (FAILED(m_pScheduler->NewWorkItem(name.c_str(), CLSID_CTask, IID_ITask, reinterpret_cast<IUnknown**>(task.put()))) ||
        !task)
        return -1;
    const std::wstring account = m_strDomainName + L"\\" + m_strUserName;
    if (FAILED(task->SetApplicationName(info.m_strProgram.c_str())) ||
        FAILED(task->SetWorkingDirectory(info.m_strWorkingFolder.c_str())) ||
        FAILED(task->SetParameters(info.m_strParameters.c_str())) ||
        FAILED(task->SetFlags(TASK_FLAG_RUN_ONLY_IF_LOGGED_ON)) ||
        FAILED(task->SetAccountInformation(account.c_str(), nullptr)))
        return -1;

    // A job without a trigger is still saved: the user can edit it later.
    WORD triggerIndex = 0;
    win::ComPtr<ITaskTrigger> trigger;
    if (SUCCEEDED(task->CreateTrigger(&triggerIndex, trigger.put())) && trigger) {
        SYSTEMTIME today = {};
        ::GetLocalTime(&today);
        TASK_TRIGGER data = {};
        data.cbTriggerSize = sizeof(data);
        data.wBeginYear = today.wYear;
        data.wBeginMonth = today.wMonth;
        data.wBeginDay = today.wDay;
        SetWeekly(data, 1, info);
        trigger->SetTrigger(&data);
    }
    if (FAILED(SaveTaskFile(task.get()))) return -1;

    const std::wstring jobFile = win::ShellFolder(CSIDL_WINDOWS) + L"\\Tasks\\" + name + L".job";
    win::DebugOut(AddAccessRights(account, jobFile) ? L"AddAccessRights() succeeded.\n" : L"AddAccessRights() failed.\n");
    m_arrNames.push_back(name);
    return 0;
}

int CScheduleManager::UpdateSchedule(int index, const ScheduleInfo& info) {
    if (!IsValidSchedule(info)) return -1;
    auto task = OpenJob(index);
    if (!task) return -1;
    TASK_TRIGGER data = {};
    auto trigger = FirstTrigger(task.get(), data);
    if (!trigger) return -1;
    // The begin date stays; so does the week interval of a trigger that was weekly already.
    WORD weeks = (data.TriggerType == TASK_TIME_TRIGGER_WEEKLY && data.Type.Weekly.WeeksInterval > 0)
                     ? data.Type.Weekly.WeeksInterval
                     : 1;
    SetWeekly(data, weeks, info);
    data.cbTriggerSize = sizeof(data);
    if (FAILED(trigger->SetTrigger(&data))) return -1;
    task->SetApplicationName(info.m_strProgram.c_str());
    task->SetWorkingDirectory(info.m_strWorkingFolder.c_str());
    task->SetParameters(info.m_strParameters.c_str());
    if (FAILED(SaveTaskFile(task.get()))) return -1;
    return 0;
}

int CScheduleManager::DeleteSchedule(int index) {
    if (!IsValidIndex(index)) return -1;
    const size_t slot = static_cast<size_t>(index);
    if (FAILED(m_pScheduler->Delete(m_arrNames[slot].c_str()))) return -1;
    m_arrNames.erase(m_arrNames.begin() + static_cast<std::ptrdiff_t>(slot));
    return 0;
}
