#pragma once
// Helpers for tests against the system's task scheduler: names unique to this run, a look at a
// job as stored, and clean-up of every job a test made.
#include <windows.h>
#include <mstask.h>

#include <functional>
#include <string>
#include <vector>

namespace schedtest {

// A product name no other test process uses, so job names never collide between parallel tests.
std::wstring UniqueAppName(const wchar_t* tag);

// A job as the scheduler stores it.
struct StoredJob {
    bool exists = false;
    std::wstring program, workingFolder, parameters, comment;
    DWORD flags = 0;
    std::vector<TASK_TRIGGER> triggers;
};
StoredJob ReadJob(const std::wstring& name);
// Names of all jobs, without their ".job" ending.
std::vector<std::wstring> AllJobNames();
std::wstring JobFile(const std::wstring& name);
// Creates a job with the given triggers and parameters directly through the scheduler.
bool MakeJob(const std::wstring& name, const std::vector<TASK_TRIGGER>& triggers, const std::wstring& parameters);
// Reads, changes and stores a job's first trigger.
bool ChangeFirstTrigger(const std::wstring& name, const std::function<void(TASK_TRIGGER&)>& change);
TASK_TRIGGER Trigger(TASK_TRIGGER_TYPE type, WORD hour, WORD minute, WORD year = 2026, WORD month = 12, WORD day = 11);
SYSTEMTIME Today();

// Deletes, when it goes, every job whose name starts with the prefix (ignoring case).
class JobCleaner {
public:
    explicit JobCleaner(std::wstring prefix) : m_strPrefix(std::move(prefix)) {}
    ~JobCleaner();
    JobCleaner(const JobCleaner&) = delete;
    JobCleaner& operator=(const JobCleaner&) = delete;

private:
    std::wstring m_strPrefix;
};

}  // namespace schedtest
