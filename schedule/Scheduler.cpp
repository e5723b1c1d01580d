#include "schedule/Scheduler.h"

#include <cstdio>
#include <utility>

#include "schedule/AccountInfo.h"
#include "win/ComPtr.h"

namespace {

// Longest account name a job takes.
constexpr size_t kMaxAccountChars = 1000;

win::ComPtr<ITaskScheduler> CreateTaskScheduler(HRESULT& hr) {
    win::ComPtr<ITaskScheduler> scheduler;
    hr = ::CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                            scheduler.put_void());
    if (FAILED(hr)) scheduler.reset();
    return scheduler;
}

win::ComPtr<ITask> ActivateTask(ITaskScheduler* scheduler, const std::wstring& name, HRESULT& hr) {
    win::ComPtr<ITask> task;
    hr = scheduler->Activate(name.c_str(), IID_ITask, reinterpret_cast<IUnknown**>(task.put()));
    if (FAILED(hr)) task.reset();
    return task;
}

// Saves the job to its file; remembers the file as the job's own.
// Every operation starts here: a name that could reach outside the scheduler's folder is refused
// before the scheduler is asked for anything. Null on failure, with the reason in `hr`.
win::ComPtr<ITaskScheduler> OpenScheduler(const std::wstring& name, HRESULT& hr) {
    if (!IsValidJobName(name)) {
        hr = E_INVALIDARG;
        return {};
    }
    return CreateTaskScheduler(hr);
}

unsigned long Code(HRESULT hr) { return static_cast<unsigned long>(hr); }

}  // namespace

HRESULT SaveTaskFile(ITask* task) {
    win::ComPtr<IPersistFile> file;
    HRESULT hr = task->QueryInterface(IID_IPersistFile, file.put_void());
    if (FAILED(hr)) return hr;
    return file->Save(nullptr, TRUE);
}

bool IsValidJobName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    for (wchar_t c : name) {
        if (c < 32) return false;
        switch (c) {
            case L'\\': case L'/': case L':': case L'*': case L'?': case L'"': case L'<': case L'>': case L'|':
                return false;
            default:
                break;
        }
    }
    return true;
}

Scheduler::Scheduler(std::wstring programPath) : m_strProgram(std::move(programPath)) {}

Scheduler::~Scheduler() = default;

bool Scheduler::TaskExists(const std::wstring& name) {
    win::ComInit com;
    auto scheduler = OpenScheduler(name, m_hrLast);
    if (!scheduler) return false;
    return static_cast<bool>(ActivateTask(scheduler.get(), name, m_hrLast));
}

bool Scheduler::CreateTask(const std::wstring& name, const std::wstring& workingFolder, const std::wstring& comment) {
    return CreateTaskWith(name, workingFolder, comment, nullptr, nullptr);
}

bool Scheduler::CreateTask(const std::wstring& name, const std::wstring& workingFolder, const std::wstring& comment,
                           const TASK_TRIGGER* trigger, const std::wstring& parameters) {
    return CreateTaskWith(name, workingFolder, comment, trigger, &parameters);
}

bool Scheduler::CreateTaskWith(const std::wstring& name, const std::wstring& workingFolder,
                               const std::wstring& comment, const TASK_TRIGGER* trigger,
                               const std::wstring* parameters) {
    // Balanced on its own, so a caller's initialisation of the thread is never undone here.
    win::ComInit com;
    auto scheduler = OpenScheduler(name, m_hrLast);
    if (!scheduler) return false;
    // Some schedulers hand out a new work item under an existing name and overwrite the job on save.
    HRESULT openResult = S_OK;
    if (ActivateTask(scheduler.get(), name, openResult)) {
        m_hrLast = HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
        return false;
    }
    win::ComPtr<ITask> task;
    m_hrLast = scheduler->NewWorkItem(name.c_str(), CLSID_CTask, IID_ITask, reinterpret_cast<IUnknown**>(task.put()));
    if (FAILED(m_hrLast) || !task) return false;

    // These may fail on some systems without making the job useless; the job is kept anyway.
    task->SetApplicationName(m_strProgram.c_str());
    task->SetWorkingDirectory(workingFolder.c_str());
    task->SetFlags(TASK_FLAG_RUN_ONLY_IF_LOGGED_ON);
    std::wstring account = GetCurrentUserAccount().m_strUserName;
    if (account.size() > kMaxAccountChars) account.clear();
    task->SetAccountInformation(account.c_str(), nullptr);

    m_hrLast = task->SetComment(comment.c_str());
    if (FAILED(m_hrLast)) return false;
    if (parameters) task->SetParameters(parameters->c_str());
    // As with AddTrigger, a trigger that cannot be made leaves the job without one.
    if (trigger) {
        WORD index = 0;
        win::ComPtr<ITaskTrigger> newTrigger;
        HRESULT hr = task->CreateTrigger(&index, newTrigger.put());
        if (FAILED(hr) || !newTrigger) {
            std::printf("Failed calling ITask::CreatTrigger: error = 0x%lx\n", Code(hr));
        } else {
            TASK_TRIGGER copy = *trigger;
            copy.cbTriggerSize = sizeof(TASK_TRIGGER);
            hr = newTrigger->SetTrigger(&copy);
            if (FAILED(hr)) std::printf("Failed calling ITaskTrigger::SetTrigger: error = 0x%lx\n", Code(hr));
        }
    }
    win::ComPtr<IPersistFile> file;
    m_hrLast = task->QueryInterface(IID_IPersistFile, file.put_void());
    if (FAILED(m_hrLast)) {
        std::fprintf(stderr, "Failed calling QueryInterface, error = 0x%lx\n", Code(m_hrLast));
        return false;
    }
    m_hrLast = file->Save(nullptr, TRUE);
    if (FAILED(m_hrLast)) {
        std::fprintf(stderr, "Failed calling Save, error = 0x%lx\n", Code(m_hrLast));
        return false;
    }
    return true;
}

void Scheduler::AddTrigger(const std::wstring& name, const TASK_TRIGGER* trigger) {
    if (!trigger) return;
    win::ComInit com;
    auto scheduler = OpenScheduler(name, m_hrLast);
    if (!scheduler) return;
    auto task = ActivateTask(scheduler.get(), name, m_hrLast);
    if (!task) {
        std::printf("Failed calling ITaskScheduler::Activate: error = 0x%lx\n", Code(m_hrLast));
        return;
    }
    WORD index = 0;
    win::ComPtr<ITaskTrigger> newTrigger;
    m_hrLast = task->CreateTrigger(&index, newTrigger.put());
    if (FAILED(m_hrLast) || !newTrigger) {
        std::printf("Failed calling ITask::CreatTrigger: error = 0x%lx\n", Code(m_hrLast));
        return;
    }
    TASK_TRIGGER copy = *trigger;
    copy.cbTriggerSize = sizeof(TASK_TRIGGER);
    m_hrLast = newTrigger->SetTrigger(&copy);
    if (FAILED(m_hrLast)) {
        std::printf("Failed calling ITaskTrigger::SetTrigger: error = 0x%lx\n", Code(m_hrLast));
        return;
    }
    m_hrLast = SaveTaskFile(task.get());
    std::printf("The trigger was created and IPersistFile::Save was \n");
    std::printf("called to save the new trigger to disk.\n");
}

void Scheduler::SetParameters(const std::wstring& name, const std::wstring& parameters) {
    win::ComInit com;
    auto scheduler = OpenScheduler(name, m_hrLast);
    if (!scheduler) return;
    auto task = ActivateTask(scheduler.get(), name, m_hrLast);
    if (!task) return;
    task->SetParameters(parameters.c_str());
    m_hrLast = SaveTaskFile(task.get());
}

void Scheduler::UpdateParameters(const std::wstring& name, const std::wstring& parameters) {
    if (TaskExists(name)) SetParameters(name, parameters);
}

bool Scheduler::DeleteTask(const std::wstring& name) {
    win::ComInit com;
    auto scheduler = OpenScheduler(name, m_hrLast);
    if (!scheduler) return false;
    m_hrLast = scheduler->Delete(name.c_str());
    return SUCCEEDED(m_hrLast);
}

int Scheduler::GetTriggerCount(const std::wstring& name) {
    win::ComInit com;
    auto scheduler = OpenScheduler(name, m_hrLast);
    if (!scheduler) return 0;
    auto task = ActivateTask(scheduler.get(), name, m_hrLast);
    if (!task) return 0;
    WORD count = 0;
    m_hrLast = task->GetTriggerCount(&count);
    return SUCCEEDED(m_hrLast) ? count : 0;
}

bool Scheduler::DeleteTrigger(const std::wstring& name, int index) {
    win::ComInit com;
    if (index < 0 || index > 0xFFFF) {
        m_hrLast = E_INVALIDARG;
        return false;
    }
    auto scheduler = OpenScheduler(name, m_hrLast);
    if (!scheduler) return false;
    auto task = ActivateTask(scheduler.get(), name, m_hrLast);
    if (!task) return false;
    m_hrLast = task->DeleteTrigger(static_cast<WORD>(index));
    if (FAILED(m_hrLast)) return false;
    m_hrLast = SaveTaskFile(task.get());
    return SUCCEEDED(m_hrLast);
}
