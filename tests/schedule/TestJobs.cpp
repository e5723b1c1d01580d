#include "tests/schedule/TestJobs.h"

#include <shlobj.h>

#include <atomic>

#include "win/ComPtr.h"
#include "win/CoTaskMemory.h"
#include "win/Paths.h"
#include "win/Strings.h"

namespace schedtest {

namespace {

win::ComPtr<ITaskScheduler> OpenScheduler() {
    win::ComPtr<ITaskScheduler> scheduler;
    ::CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler, scheduler.put_void());
    return scheduler;
}

win::ComPtr<ITask> OpenTask(ITaskScheduler* scheduler, const std::wstring& name) {
    win::ComPtr<ITask> task;
    if (scheduler &&
        FAILED(scheduler->Activate(name.c_str(), IID_ITask, reinterpret_cast<IUnknown**>(task.put()))))
        task.reset();
    return task;
}

std::wstring Text(HRESULT hr, win::CoTaskString& text) {
    return SUCCEEDED(hr) && text ? std::wstring(text.get()) : std::wstring();
}

bool Save(ITask* task) {
    win::ComPtr<IPersistFile> file;
    if (FAILED(task->QueryInterface(IID_IPersistFile, file.put_void()))) return false;
    return SUCCEEDED(file->Save(nullptr, TRUE));
}

}  // namespace

std::wstring UniqueAppName(const wchar_t* tag) {
    static std::atomic<unsigned> counter{0};
    return win::Format(L"KvT%ls%lx_%lx_%u", tag, ::GetCurrentProcessId(), ::GetTickCount(), counter++);
}

SYSTEMTIME Today() {
    SYSTEMTIME today = {};
    ::GetLocalTime(&today);
    return today;
}

StoredJob ReadJob(const std::wstring& name) {
    win::ComInit com;
    StoredJob job;
    auto scheduler = OpenScheduler();
    auto task = OpenTask(scheduler.get(), name);
    if (!task) return job;
    job.exists = true;
    win::CoTaskString program, folder, parameters, comment;
    job.program = Text(task->GetApplicationName(program.put()), program);
    job.workingFolder = Text(task->GetWorkingDirectory(folder.put()), folder);
    job.parameters = Text(task->GetParameters(parameters.put()), parameters);
    job.comment = Text(task->GetComment(comment.put()), comment);
    task->GetFlags(&job.flags);
    WORD count = 0;
    task->GetTriggerCount(&count);
    for (WORD i = 0; i < count; ++i) {
        win::ComPtr<ITaskTrigger> trigger;
        TASK_TRIGGER data = {};
        data.cbTriggerSize = sizeof(data);
        if (SUCCEEDED(task->GetTrigger(i, trigger.put())) && SUCCEEDED(trigger->GetTrigger(&data)))
            job.triggers.push_back(data);
    }
    return job;
}

std::vector<std::wstring> AllJobNames() {
    win::ComInit com;
    std::vector<std::wstring> result;
    auto scheduler = OpenScheduler();
    win::ComPtr<IEnumWorkItems> items;
    if (!scheduler || FAILED(scheduler->Enum(items.put()))) return result;
    for (;;) {
        win::CoTaskStringArray names;
        ULONG fetched = 0;
        HRESULT hr = items->Next(1, names.put(), &fetched);
        names.set_size(fetched);
        if (hr != S_OK || names.size() == 0) break;
        std::wstring name = names.get()[0];
        size_t dot = name.rfind(L'.');
        if (dot != std::wstring::npos) name.resize(dot);
        result.push_back(name);
    }
    return result;
}

std::wstring JobFile(const std::wstring& name) {
    return win::ShellFolder(CSIDL_WINDOWS) + L"\\Tasks\\" + name + L".job";
}

bool MakeJob(const std::wstring& name, const std::vector<TASK_TRIGGER>& triggers, const std::wstring& parameters) {
    win::ComInit com;
    auto scheduler = OpenScheduler();
    if (!scheduler) return false;
    win::ComPtr<ITask> task;
    if (FAILED(scheduler->NewWorkItem(name.c_str(), CLSID_CTask, IID_ITask, reinterpret_cast<IUnknown**>(task.put()))))
        return false;
    task->SetApplicationName(L"C:\\windows\\system32\\notepad.exe");
    task->SetParameters(parameters.c_str());
    for (const auto& data : triggers) {
        WORD index = 0;
        win::ComPtr<ITaskTrigger> trigger;
        if (FAILED(task->CreateTrigger(&index, trigger.put()))) return false;
        TASK_TRIGGER copy = data;
        if (FAILED(trigger->SetTrigger(&copy))) return false;
    }
    return Save(task.get());
}

bool ChangeFirstTrigger(const std::wstring& name, const std::function<void(TASK_TRIGGER&)>& change) {
    win::ComInit com;
    auto scheduler = OpenScheduler();
    auto task = OpenTask(scheduler.get(), name);
    win::ComPtr<ITaskTrigger> trigger;
    if (!task || FAILED(task->GetTrigger(0, trigger.put()))) return false;
    TASK_TRIGGER data = {};
    data.cbTriggerSize = sizeof(data);
    if (FAILED(trigger->GetTrigger(&data))) return false;
    change(data);
    if (FAILED(trigger->SetTrigger(&data))) return false;
    return Save(task.get());
}

TASK_TRIGGER Trigger(TASK_TRIGGER_TYPE type, WORD hour, WORD minute, WORD year, WORD month, WORD day) {
    TASK_TRIGGER data = {};
    data.cbTriggerSize = sizeof(data);
    data.TriggerType = type;
    data.wStartHour = hour;
    data.wStartMinute = minute;
    data.wBeginYear = year;
    data.wBeginMonth = month;
    data.wBeginDay = day;
    if (type == TASK_TIME_TRIGGER_DAILY) data.Type.Daily.DaysInterval = 1;
    if (type == TASK_TIME_TRIGGER_WEEKLY) {
        data.Type.Weekly.WeeksInterval = 1;
        data.Type.Weekly.rgfDaysOfTheWeek = 0x02;
    }
    return data;
}

JobCleaner::~JobCleaner() {
    win::ComInit com;
    auto scheduler = OpenScheduler();
    if (!scheduler) return;
    for (const auto& name : AllJobNames()) {
        if (name.size() < m_strPrefix.size() ||
            !win::EqualsNoCase(std::wstring_view(name).substr(0, m_strPrefix.size()), m_strPrefix))
            continue;
        ::SetFileAttributesW(JobFile(name).c_str(), FILE_ATTRIBUTE_NORMAL);
        if (FAILED(scheduler->Delete(name.c_str()))) ::DeleteFileW(JobFile(name).c_str());
    }
}

}  // namespace schedtest
