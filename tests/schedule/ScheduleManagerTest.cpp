#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <set>

#include "schedule/AccountInfo.h"
#include "schedule/ScheduleManager.h"
#include "schedule/Scheduler.h"
#include "tests/schedule/TestJobs.h"
#include "win/CoTaskMemory.h"
#include "win/ComPtr.h"
#include "win/Strings.h"

using namespace schedtest;

namespace {

std::wstring PlatformTriggerText(const std::wstring& name) {
    win::ComPtr<ITaskScheduler> scheduler;
    win::ComPtr<ITask> task;
    win::CoTaskString text;
    if (FAILED(::CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                  scheduler.put_void())) ||
        FAILED(scheduler->Activate(name.c_str(), IID_ITask, reinterpret_cast<IUnknown**>(task.put()))) ||
        FAILED(task->GetTriggerString(0, text.put())) || !text)
        return {};
    return text.get();
}

class ScheduleManagerTest : public testing::Test {
protected:
    ScheduleManagerTest() : m_strApp(UniqueAppName(L"Mgr")), m_cleaner(m_strApp) {}

    void Load(CScheduleManager& manager) {
        manager.Load(m_account.m_strUserName, m_account.m_strDomainName, m_strApp);
    }
    static ScheduleInfo Info(int days, int hour, int minute) {
        ScheduleInfo info;
        info.m_nDays = days;
        info.m_nHour = hour;
        info.m_nMinute = minute;
        info.m_strWorkingFolder = L"C:\\Program Files\\Kavendor\\";
        info.m_strProgram = L"C:\\Program Files\\Kavendor\\Kavendor.exe";
        info.m_strParameters = L"-scan";
        return info;
    }

    win::ComInit m_com;
    UserAccount m_account = GetCurrentUserAccount();
    std::wstring m_strApp;
    JobCleaner m_cleaner;
};

TEST_F(ScheduleManagerTest, AddedScheduleIsStoredReadDescribedAndDeleted) {
    CScheduleManager manager;
    Load(manager);
    ASSERT_EQ(manager.GetCount(), 0);
    ASSERT_EQ(manager.AddSchedule(Info(0x12, 2, 0)), 0);
    ASSERT_EQ(manager.GetCount(), 1);

    std::wstring name;
    ASSERT_EQ(manager.GetName(0, name), 0);
    const std::wstring prefix = m_strApp + L"_sch_";
    ASSERT_EQ(name.substr(0, prefix.size()), prefix);
    std::wstring guid = name.substr(prefix.size());
    ASSERT_EQ(guid.size(), 36u) << guid;
    for (size_t i = 0; i < guid.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23)
            EXPECT_EQ(guid[i], L'-') << guid;
        else
            EXPECT_TRUE(std::iswxdigit(guid[i]) && !std::iswlower(guid[i])) << guid;
    }

    StoredJob job = ReadJob(name);
    ASSERT_TRUE(job.exists);
    EXPECT_EQ(job.program, L"C:\\Program Files\\Kavendor\\Kavendor.exe");
    EXPECT_EQ(job.workingFolder, L"C:\\Program Files\\Kavendor\\");
    EXPECT_EQ(job.parameters, L"-scan");
    EXPECT_TRUE(job.flags & TASK_FLAG_RUN_ONLY_IF_LOGGED_ON);
    ASSERT_EQ(job.triggers.size(), 1u);
    const TASK_TRIGGER& t = job.triggers[0];
    SYSTEMTIME today = Today();
    EXPECT_EQ(t.TriggerType, TASK_TIME_TRIGGER_WEEKLY);
    EXPECT_EQ(t.Type.Weekly.WeeksInterval, 1);
    EXPECT_EQ(t.Type.Weekly.rgfDaysOfTheWeek, 0x12);
    EXPECT_EQ(t.wStartHour, 2);
    EXPECT_EQ(t.wStartMinute, 0);
    EXPECT_EQ(t.wBeginYear, today.wYear);
    EXPECT_EQ(t.wBeginMonth, today.wMonth);
    EXPECT_EQ(t.wBeginDay, today.wDay);

    ScheduleInfo read;
    ASSERT_EQ(manager.GetSchedule(0, read), 0);
    EXPECT_EQ(read.m_nDays, 0x12);
    EXPECT_EQ(read.m_nHour, 2);
    EXPECT_EQ(read.m_nMinute, 0);
    EXPECT_EQ(read.m_strProgram, job.program);
    EXPECT_EQ(read.m_strWorkingFolder, job.workingFolder);
    EXPECT_EQ(read.m_strParameters, L"-scan");

    std::wstring description;
    ASSERT_EQ(manager.GetDescription(0, description), 0);
    // The platform's own text when it has one, ours otherwise.
    std::wstring platformText = PlatformTriggerText(name);
    if (platformText.empty())
        platformText = win::Format(L"At 02:00 every Monday and Thursday of every week, starting %u/%u/%u",
                                   today.wMonth, today.wDay, today.wYear);
    EXPECT_EQ(description, platformText);

    // A second manager finds the same job.
    CScheduleManager other;
    Load(other);
    ASSERT_EQ(other.GetCount(), 1);
    std::wstring otherName;
    other.GetName(0, otherName);
    EXPECT_EQ(otherName, name);

    ASSERT_EQ(manager.DeleteSchedule(0), 0);
    EXPECT_EQ(manager.GetCount(), 0);
    EXPECT_FALSE(ReadJob(name).exists);
}

TEST_F(ScheduleManagerTest, HourMinuteAndDayRules) {
    struct Case {
        int days, hour, minute;
        bool accepted;
    };
    const Case cases[] = {
        {0x01, 0, 0, true},     {0x7F, 23, 59, true},  {0x40, 12, 15, true}, {0x08, 4, 58, true},
        {0x02, 24, 0, false},   {0x02, -1, 0, false},  {0x02, 2, 60, false}, {0x02, 2, -1, false},
        {0, 2, 0, false},       {0x80, 2, 0, false},   {-1, 2, 0, false},
    };
    CScheduleManager manager;
    Load(manager);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "days " << c.days << " at " << c.hour << ":" << c.minute);
        const int before = manager.GetCount();
        ASSERT_EQ(manager.AddSchedule(Info(c.days, c.hour, c.minute)), c.accepted ? 0 : -1);
        ASSERT_EQ(manager.GetCount(), before + (c.accepted ? 1 : 0));
        if (!c.accepted) continue;
        ScheduleInfo read;
        ASSERT_EQ(manager.GetSchedule(before, read), 0);
        EXPECT_EQ(read.m_nDays, c.days);
        EXPECT_EQ(read.m_nHour, c.hour);
        EXPECT_EQ(read.m_nMinute, c.minute);
    }
    // Nothing of the refused ones reached the scheduler.
    CScheduleManager reloaded;
    Load(reloaded);
    EXPECT_EQ(reloaded.GetCount(), manager.GetCount());
    // An update is held to the same rules and leaves the job as it was.
    EXPECT_EQ(manager.UpdateSchedule(0, Info(0x02, 25, 0)), -1);
    ScheduleInfo read;
    ASSERT_EQ(manager.GetSchedule(0, read), 0);
    EXPECT_EQ(read.m_nHour, 0);
}

TEST_F(ScheduleManagerTest, UpdateKeepsBeginDateAndWeekInterval) {
    CScheduleManager manager;
    Load(manager);
    ASSERT_EQ(manager.AddSchedule(Info(0x02, 2, 0)), 0);
    std::wstring name;
    manager.GetName(0, name);
    ASSERT_TRUE(ChangeFirstTrigger(name, [](TASK_TRIGGER& t) {
        t.wBeginYear = 2020;
        t.wBeginMonth = 1;
        t.wBeginDay = 2;
        t.Type.Weekly.WeeksInterval = 3;
    }));

    ScheduleInfo info = Info(0x41, 22, 45);
    info.m_strParameters = L"-scan -again";
    info.m_strProgram = L"C:\\Other\\Kavendor.exe";
    info.m_strWorkingFolder = L"C:\\Other\\";
    ASSERT_EQ(manager.UpdateSchedule(0, info), 0);

    StoredJob job = ReadJob(name);
    ASSERT_EQ(job.triggers.size(), 1u);
    const TASK_TRIGGER& t = job.triggers[0];
    EXPECT_EQ(t.wBeginYear, 2020);
    EXPECT_EQ(t.wBeginMonth, 1);
    EXPECT_EQ(t.wBeginDay, 2);
    EXPECT_EQ(t.TriggerType, TASK_TIME_TRIGGER_WEEKLY);
    EXPECT_EQ(t.Type.Weekly.WeeksInterval, 3);
    EXPECT_EQ(t.Type.Weekly.rgfDaysOfTheWeek, 0x41);
    EXPECT_EQ(t.wStartHour, 22);
    EXPECT_EQ(t.wStartMinute, 45);
    EXPECT_EQ(job.parameters, L"-scan -again");
    EXPECT_EQ(job.program, L"C:\\Other\\Kavendor.exe");
    EXPECT_EQ(job.workingFolder, L"C:\\Other\\");
}

TEST_F(ScheduleManagerTest, UpdateOfAMonthlyTriggerRunsEveryWeek) {
    CScheduleManager manager;
    Load(manager);
    ASSERT_EQ(manager.AddSchedule(Info(0x02, 2, 0)), 0);
    std::wstring name;
    manager.GetName(0, name);
    // Changed outside the program: its interval field now holds the month days.
    ASSERT_TRUE(ChangeFirstTrigger(name, [](TASK_TRIGGER& t) {
        t.TriggerType = TASK_TIME_TRIGGER_MONTHLYDATE;
        t.Type.MonthlyDate.rgfDays = 0x4000;
        t.Type.MonthlyDate.rgfMonths = 0xFFF;
    }));
    ASSERT_EQ(manager.UpdateSchedule(0, Info(0x04, 3, 30)), 0);
    StoredJob job = ReadJob(name);
    ASSERT_EQ(job.triggers.size(), 1u);
    EXPECT_EQ(job.triggers[0].TriggerType, TASK_TIME_TRIGGER_WEEKLY);
    EXPECT_EQ(job.triggers[0].Type.Weekly.WeeksInterval, 1);
    EXPECT_EQ(job.triggers[0].Type.Weekly.rgfDaysOfTheWeek, 0x04);
}

TEST_F(ScheduleManagerTest, DaysFollowTheTriggerType) {
    CScheduleManager manager;
    Load(manager);
    ASSERT_EQ(manager.AddSchedule(Info(0x02, 5, 15)), 0);
    std::wstring name;
    manager.GetName(0, name);

    ASSERT_TRUE(ChangeFirstTrigger(name, [](TASK_TRIGGER& t) {
        t.TriggerType = TASK_TIME_TRIGGER_DAILY;
        t.Type.Daily.DaysInterval = 1;
    }));
    ScheduleInfo read = Info(0x55, 0, 0);
    ASSERT_EQ(manager.GetSchedule(0, read), 0);
    EXPECT_EQ(read.m_nDays, 127);
    EXPECT_EQ(read.m_nHour, 5);
    EXPECT_EQ(read.m_nMinute, 15);

    // A trigger of another kind leaves the caller's days alone.
    ASSERT_TRUE(ChangeFirstTrigger(name, [](TASK_TRIGGER& t) { t.TriggerType = TASK_EVENT_TRIGGER_AT_LOGON; }));
    read = Info(0x55, 0, 0);
    ASSERT_EQ(manager.GetSchedule(0, read), 0);
    EXPECT_EQ(read.m_nDays, 0x55);
    std::wstring description;
    ASSERT_EQ(manager.GetDescription(0, description), 0);
    std::wstring platformText = PlatformTriggerText(name);
    EXPECT_EQ(description, platformText.empty() ? std::wstring(L"At logon") : platformText);
}

TEST_F(ScheduleManagerTest, OnlyTheProgramsOwnJobsAreListed) {
    const std::wstring lower = win::ToLower(m_strApp);
    const std::wstring ours[] = {m_strApp + L" Default", lower + L"_SCH_x", m_strApp + L"_sch_"};
    const std::wstring others[] = {m_strApp + L" Defaults", m_strApp + L" Startup", m_strApp + L"_schX",
                                   m_strApp + L"x_sch_y", m_strApp + L" Default2"};
    for (const auto& name : ours) ASSERT_TRUE(MakeJob(name, {Trigger(TASK_TIME_TRIGGER_WEEKLY, 1, 0)}, L"-scan")) << name;
    for (const auto& name : others) ASSERT_TRUE(MakeJob(name, {}, L"")) << name;
    // Ours by name but no job the scheduler can open: a damaged file.
    {
        HANDLE file = ::CreateFileW(JobFile(m_strApp + L"_sch_damaged").c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ::WriteFile(file, "\x01\x02garbage", 9, &written, nullptr);
        ::CloseHandle(file);
    }

    CScheduleManager manager;
    Load(manager);
    std::set<std::wstring> listed;
    for (int i = 0; i < manager.GetCount(); ++i) {
        std::wstring name;
        ASSERT_EQ(manager.GetName(i, name), 0);
        listed.insert(win::ToLower(name));
    }
    std::set<std::wstring> expected;
    for (const auto& name : ours) expected.insert(win::ToLower(name));
    EXPECT_EQ(listed, expected);

    // Load appends; Clear forgets the names but not the jobs.
    Load(manager);
    EXPECT_EQ(manager.GetCount(), 6);
    manager.Clear();
    EXPECT_EQ(manager.GetCount(), 0);
    EXPECT_TRUE(ReadJob(ours[0]).exists);
}

TEST_F(ScheduleManagerTest, BadIndexesAndMissingSchedulerFail) {
    const ScheduleInfo sentinel = Info(0x33, 7, 7);
    auto expectAllFail = [&](CScheduleManager& manager, int index) {
        SCOPED_TRACE(index);
        std::wstring text = L"unchanged";
        ScheduleInfo info = sentinel;
        EXPECT_EQ(manager.GetDescription(index, text), -1);
        EXPECT_EQ(manager.GetName(index, text), -1);
        EXPECT_EQ(text, L"unchanged");
        EXPECT_EQ(manager.GetSchedule(index, info), -1);
        EXPECT_EQ(info.m_nDays, sentinel.m_nDays);
        EXPECT_EQ(info.m_strProgram, sentinel.m_strProgram);
        EXPECT_EQ(manager.UpdateSchedule(index, Info(0x02, 1, 1)), -1);
        EXPECT_EQ(manager.DeleteSchedule(index), -1);
    };

    CScheduleManager notLoaded;
    EXPECT_EQ(notLoaded.GetCount(), 0);
    EXPECT_EQ(notLoaded.AddSchedule(Info(0x02, 1, 1)), -1);
    expectAllFail(notLoaded, 0);

    CScheduleManager manager;
    Load(manager);
    ASSERT_EQ(manager.AddSchedule(Info(0x02, 1, 1)), 0);
    for (int index : {-1, 1, 2, 1000, INT32_MIN}) expectAllFail(manager, index);
    EXPECT_EQ(manager.GetCount(), 1);
}

TEST_F(ScheduleManagerTest, VanishedJobFailsAndKeepsItsName) {
    CScheduleManager manager;
    Load(manager);
    ASSERT_EQ(manager.AddSchedule(Info(0x02, 1, 1)), 0);
    std::wstring name;
    manager.GetName(0, name);
    ASSERT_TRUE(Scheduler().DeleteTask(name));

    ScheduleInfo info;
    std::wstring text = L"unchanged";
    EXPECT_EQ(manager.GetSchedule(0, info), -1);
    EXPECT_EQ(manager.GetDescription(0, text), -1);
    EXPECT_EQ(text, L"unchanged");
    EXPECT_EQ(manager.UpdateSchedule(0, Info(0x02, 3, 3)), -1);
    EXPECT_FALSE(ReadJob(name).exists);
    EXPECT_EQ(manager.DeleteSchedule(0), -1);
    ASSERT_EQ(manager.GetCount(), 1);
    std::wstring still;
    manager.GetName(0, still);
    EXPECT_EQ(still, name);
}

TEST_F(ScheduleManagerTest, JobThatCannotBeDeletedStaysFirst) {
    CScheduleManager manager;
    Load(manager);
    ASSERT_EQ(manager.AddSchedule(Info(0x02, 1, 1)), 0);
    ASSERT_EQ(manager.AddSchedule(Info(0x04, 1, 1)), 0);
    std::wstring first;
    manager.GetName(0, first);
    ASSERT_TRUE(::SetFileAttributesW(JobFile(first).c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_EQ(manager.DeleteSchedule(0), -1);
    EXPECT_EQ(manager.DeleteSchedule(0), -1);
    ASSERT_EQ(manager.GetCount(), 2);
    std::wstring still;
    manager.GetName(0, still);
    EXPECT_EQ(still, first);
    EXPECT_TRUE(ReadJob(first).exists);
    EXPECT_EQ(manager.DeleteSchedule(1), 0);
    EXPECT_EQ(manager.GetCount(), 1);
}

TEST_F(ScheduleManagerTest, AddedJobFileGrantsTheAccount) {
    CScheduleManager manager;
    Load(manager);
    ASSERT_EQ(manager.AddSchedule(Info(0x02, 1, 1)), 0);
    std::wstring name;
    manager.GetName(0, name);

    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidBytes = sizeof(sid);
    wchar_t domain[256];
    DWORD domainChars = 256;
    SID_NAME_USE use;
    const std::wstring account = m_account.m_strDomainName + L"\\" + m_account.m_strUserName;
    ASSERT_TRUE(::LookupAccountNameW(nullptr, account.c_str(), sid, &sidBytes, domain, &domainChars, &use));

    DWORD bytes = 0;
    ::GetFileSecurityW(JobFile(name).c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &bytes);
    std::vector<BYTE> descriptor(bytes);
    ASSERT_TRUE(::GetFileSecurityW(JobFile(name).c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), bytes, &bytes));
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor.data(), &present, &acl, &defaulted));
    ASSERT_TRUE(present && acl);
    bool granted = false;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(::GetAce(acl, i, reinterpret_cast<void**>(&ace)));
        if (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && ::EqualSid(&ace->SidStart, sid) &&
            (ace->Mask == GENERIC_ALL || (ace->Mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS))
            granted = true;
    }
    EXPECT_TRUE(granted);
}

}  // namespace
