// Prints what the scheduler operations cost against the system's task scheduler: the fixed jobs,
// and the schedule page's load among many jobs of other programs, beside a bare enumeration.
// Run by hand: wine-run bench_schedule.exe [foreign jobs, default 200]
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "schedule/AccountInfo.h"
#include "schedule/FixedTasks.h"
#include "schedule/ScheduleManager.h"
#include "tests/schedule/TestJobs.h"
#include "win/ComPtr.h"

using namespace schedtest;

namespace {

double Now() {
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int foreignJobs = argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 200;
    win::ComInit com;
    const std::wstring app = UniqueAppName(L"Bench");
    const std::wstring foreign = UniqueAppName(L"Foreign");
    JobCleaner cleaner(app), foreignCleaner(foreign);
    const UserAccount account = GetCurrentUserAccount();

    ScheduledTaskProduct product;
    product.m_strAppName = app;
    product.m_strExeName = L"Kavendor.exe";
    product.m_strAppFolder = L"C:\\Program Files\\Velmora\\Kavendor";
    const int rounds = 20;
    double start = Now();
    for (int i = 0; i < rounds; ++i) {
        CreateDefaultScanTask(product, false);
        DeleteDefaultScanTask(product);
    }
    std::printf("default scan job: create + delete %.2f ms per pair (%d pairs)\n", (Now() - start) / rounds, rounds);

    for (int i = 0; i < foreignJobs; ++i)
        MakeJob(foreign + L"_" + std::to_wstring(i), {Trigger(TASK_TIME_TRIGGER_WEEKLY, 1, 1)}, L"");
    ScheduleInfo info;
    info.m_nDays = 0x12;
    info.m_nHour = 2;
    info.m_strProgram = product.m_strAppFolder + L"\\Kavendor.exe";
    info.m_strParameters = L"-scan";
    {
        CScheduleManager manager;
        manager.Load(account.m_strUserName, account.m_strDomainName, app);
        start = Now();
        for (int i = 0; i < 10; ++i) manager.AddSchedule(info);
        std::printf("AddSchedule: %.2f ms each\n", (Now() - start) / 10);
    }

    start = Now();
    size_t all = AllJobNames().size();
    std::printf("bare enumeration of %zu jobs: %.2f ms\n", all, Now() - start);

    CScheduleManager manager;
    start = Now();
    manager.Load(account.m_strUserName, account.m_strDomainName, app);
    std::printf("Load: %d schedules among %zu jobs in %.2f ms\n", manager.GetCount(), all, Now() - start);

    start = Now();
    std::wstring text;
    for (int i = 0; i < manager.GetCount(); ++i) manager.GetDescription(i, text);
    std::printf("GetDescription: %.2f ms each (%ls)\n", (Now() - start) / manager.GetCount(), text.c_str());

    start = Now();
    int count = manager.GetCount();
    while (manager.GetCount() > 0 && manager.DeleteSchedule(0) == 0) {
    }
    std::printf("DeleteSchedule: %.2f ms each\n", (Now() - start) / count);
    return 0;
}
