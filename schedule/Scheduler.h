#pragma once
// Thin wrapper over the version-1 task scheduler for one job at a time, shared by the main program
// and the update front-end. Every operation creates its own scheduler object and initialises COM
// for its own duration, so it can be called from a thread in any COM state.
#include <windows.h>
#include <mstask.h>

#include <string>

class Scheduler {
public:
    // `programPath` is the program that jobs made by CreateTask run.
    explicit Scheduler(std::wstring programPath = {});
    virtual ~Scheduler();
    Scheduler(const Scheduler&) = delete;
    Scheduler& operator=(const Scheduler&) = delete;

    // True when the job can be opened.
    bool TaskExists(const std::wstring& name);
    // Creates and saves a new job that runs the program, in `workingFolder`, only while the
    // current user is logged on, under that user's account without a password.
    bool CreateTask(const std::wstring& name, const std::wstring& workingFolder, const std::wstring& comment);
    // The same job with its trigger and parameters, stored by a single save: a job is never on
    // disk without its trigger, which matters where the scheduler gives a job without triggers a
    // default (daily) one when it loads it, so that a later AddTrigger would make it two.
    bool CreateTask(const std::wstring& name, const std::wstring& workingFolder, const std::wstring& comment,
                    const TASK_TRIGGER* trigger, const std::wstring& parameters);
    // Appends a trigger to the job and saves it; nothing when `trigger` is null.
    void AddTrigger(const std::wstring& name, const TASK_TRIGGER* trigger);
    void SetParameters(const std::wstring& name, const std::wstring& parameters);
    // SetParameters, but only for a job that exists.
    void UpdateParameters(const std::wstring& name, const std::wstring& parameters);
    bool DeleteTask(const std::wstring& name);
    // Number of triggers of the job; 0 on any failure.
    int GetTriggerCount(const std::wstring& name);
    // Deletes one trigger and saves the job; true when no step failed.
    bool DeleteTrigger(const std::wstring& name, int index);

    // Result code of the last scheduler call.
    HRESULT LastResult() const { return m_hrLast; }

private:
    bool CreateTaskWith(const std::wstring& name, const std::wstring& workingFolder, const std::wstring& comment,
                        const TASK_TRIGGER* trigger, const std::wstring* parameters);

    HRESULT m_hrLast = S_OK;
    std::wstring m_strProgram;
};

// Job names become file names in the scheduler's folder: names with path or reserved characters
// are refused everywhere, so no name can reach outside that folder.
bool IsValidJobName(const std::wstring& name);

// Writes a job's changed settings to its file.
HRESULT SaveTaskFile(ITask* task);
