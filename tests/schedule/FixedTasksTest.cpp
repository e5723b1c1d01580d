#include <gtest/gtest.h>

#include <map>
#include <set>

#include "framework/Profile.h"
#include "schedule/AccountInfo.h"
#include "schedule/FixedTasks.h"
#include "schedule/ScheduleManager.h"
#include "schedule/Scheduler.h"
#include "tests/schedule/TestJobs.h"
#include "tests/support/RegistrySandbox.h"
#include "win/ComPtr.h"

using namespace schedtest;

namespace {

const wchar_t kFolder[] = L"C:\\Program Files\\Velmora\\Kavendor";

class FixedTasksTest : public testing::Test {
protected:
    FixedTasksTest() : m_strApp(UniqueAppName(L"Fix")), m_cleaner(m_strApp) {
        m_profile.SetLocation(m_sandbox.User(), L"Software\\Velmora\\Kavendor");
    }

    ScheduledTaskProduct Product(const std::wstring& appName) const {
        ScheduledTaskProduct product;
        product.m_strAppName = appName;
        product.m_strExeName = L"Kavendor.exe";
        product.m_strAppFolder = kFolder;
        product.m_pProfile = &m_profile;
        return product;
    }
    ScheduledTaskProduct Product() const { return Product(m_strApp); }
    UINT RunAtSystemStart() const { return m_profile.GetInt(L"RunAtSystemStart", 77); }

    kvtest::RegistrySandbox m_sandbox;
    fw::CProfile m_profile;
    std::wstring m_strApp;
    JobCleaner m_cleaner;
};

bool IsDefaultScanDays(WORD days) { return days == 0x09 || days == 0x22 || days == 0x44; }

TEST(DefaultScanTrigger, StaysInTheEarlyMorningOnTheThreeDayPairs) {
    SYSTEMTIME today = {};
    today.wYear = 2027;
    today.wMonth = 2;
    today.wDay = 28;
    std::set<WORD> hours, minutes, days;
    std::set<unsigned> distinct;
    for (unsigned seed = 0; seed < 20000; ++seed) {
        for (unsigned s : {seed, seed * 2654435761u}) {
            TASK_TRIGGER t = MakeDefaultScanTrigger(s, false, today);
            ASSERT_EQ(t.cbTriggerSize, 48);
            ASSERT_EQ(t.TriggerType, TASK_TIME_TRIGGER_WEEKLY);
            ASSERT_EQ(t.Type.Weekly.WeeksInterval, 1);
            ASSERT_LT(t.wStartHour, 5) << s;
            ASSERT_LT(t.wStartMinute, 59) << s;
            ASSERT_TRUE(IsDefaultScanDays(t.Type.Weekly.rgfDaysOfTheWeek)) << s;
            ASSERT_EQ(t.wBeginYear, 2027);
            ASSERT_EQ(t.wBeginMonth, 2);
            ASSERT_EQ(t.wBeginDay, 28);
            ASSERT_EQ(t.wEndYear, 0);
            ASSERT_EQ(t.MinutesDuration, 0u);
            ASSERT_EQ(t.rgFlags, 0u);
            hours.insert(t.wStartHour);
            minutes.insert(t.wStartMinute);
            days.insert(t.Type.Weekly.rgfDaysOfTheWeek);
            distinct.insert(t.wStartHour * 10000u + t.wStartMinute * 100u + t.Type.Weekly.rgfDaysOfTheWeek);

            TASK_TRIGGER sunday = MakeDefaultScanTrigger(s, true, today);
            ASSERT_EQ(sunday.Type.Weekly.rgfDaysOfTheWeek, 0x01);
            ASSERT_EQ(sunday.wStartHour, t.wStartHour);
            ASSERT_EQ(sunday.wStartMinute, t.wStartMinute);
        }
    }
    // The whole range is used, not one fixed time.
    EXPECT_EQ(hours.size(), 5u);
    EXPECT_EQ(minutes.size(), 59u);
    EXPECT_EQ(days.size(), 3u);
    EXPECT_GT(distinct.size(), 500u);
}

TEST(FixedTaskNames, FallBackToTheProductName) {
    EXPECT_EQ(DefaultScanTaskName(L""), L"Kavendor Default");
    EXPECT_EQ(StartupTaskName(L""), L"Kavendor Startup");
    EXPECT_EQ(DefaultScanTaskName(L"Fixer"), L"Fixer Default");
    EXPECT_EQ(StartupTaskName(L"Fixer"), L"Fixer Startup");
}

TEST_F(FixedTasksTest, DefaultScanJobIsCreatedOnceAndDeleted) {
    const std::wstring name = DefaultScanTaskName(m_strApp);
    CreateDefaultScanTask(Product(), false);
    StoredJob job = ReadJob(name);
    ASSERT_TRUE(job.exists);
    EXPECT_EQ(job.program, std::wstring(kFolder) + L"\\Kavendor.exe");
    EXPECT_EQ(job.workingFolder, std::wstring(kFolder) + L"\\");
    EXPECT_EQ(job.parameters, L"-scan");
    EXPECT_EQ(job.comment, m_strApp);
    EXPECT_TRUE(job.flags & TASK_FLAG_RUN_ONLY_IF_LOGGED_ON);
    ASSERT_EQ(job.triggers.size(), 1u);
    const TASK_TRIGGER& t = job.triggers[0];
    SYSTEMTIME today = Today();
    EXPECT_EQ(t.TriggerType, TASK_TIME_TRIGGER_WEEKLY);
    EXPECT_EQ(t.Type.Weekly.WeeksInterval, 1);
    EXPECT_TRUE(IsDefaultScanDays(t.Type.Weekly.rgfDaysOfTheWeek));
    EXPECT_LT(t.wStartHour, 5);
    EXPECT_LT(t.wStartMinute, 59);
    EXPECT_EQ(t.wBeginYear, today.wYear);
    EXPECT_EQ(t.wBeginMonth, today.wMonth);
    EXPECT_EQ(t.wBeginDay, today.wDay);

    // A second call leaves the job as it is.
    CreateDefaultScanTask(Product(), true);
    StoredJob again = ReadJob(name);
    ASSERT_EQ(again.triggers.size(), 1u);
    EXPECT_EQ(again.triggers[0].Type.Weekly.rgfDaysOfTheWeek, t.Type.Weekly.rgfDaysOfTheWeek);

    EXPECT_TRUE(DeleteDefaultScanTask(Product()));
    EXPECT_FALSE(ReadJob(name).exists);
    EXPECT_FALSE(DeleteDefaultScanTask(Product()));
}

TEST_F(FixedTasksTest, SundayOnlyDefaultScan) {
    CreateDefaultScanTask(Product(), true);
    StoredJob job = ReadJob(DefaultScanTaskName(m_strApp));
    ASSERT_EQ(job.triggers.size(), 1u);
    EXPECT_EQ(job.triggers[0].Type.Weekly.rgfDaysOfTheWeek, 0x01);
}

TEST_F(FixedTasksTest, ExistingDefaultJobIsLeftUnchanged) {
    const std::wstring name = DefaultScanTaskName(m_strApp);
    ASSERT_TRUE(MakeJob(name, {Trigger(TASK_TIME_TRIGGER_DAILY, 13, 30, 2021, 5, 6)}, L"-old"));
    CreateDefaultScanTask(Product(), false);
    StoredJob job = ReadJob(name);
    ASSERT_EQ(job.triggers.size(), 1u);
    EXPECT_EQ(job.triggers[0].TriggerType, TASK_TIME_TRIGGER_DAILY);
    EXPECT_EQ(job.triggers[0].wStartHour, 13);
    EXPECT_EQ(job.triggers[0].wStartMinute, 30);
    EXPECT_EQ(job.triggers[0].wBeginYear, 2021);
    EXPECT_EQ(job.parameters, L"-old");
    EXPECT_EQ(job.program, L"C:\\windows\\system32\\notepad.exe");
}

TEST_F(FixedTasksTest, StartupJobRunsAtLogonAndMirrorsTheSetting) {
    const std::wstring name = StartupTaskName(m_strApp);
    CreateStartupTask(Product());
    StoredJob job = ReadJob(name);
    ASSERT_TRUE(job.exists);
    EXPECT_EQ(job.parameters, L"-tray");
    EXPECT_EQ(job.program, std::wstring(kFolder) + L"\\Kavendor.exe");
    EXPECT_EQ(job.comment, m_strApp);
    ASSERT_EQ(job.triggers.size(), 1u);
    EXPECT_EQ(job.triggers[0].TriggerType, TASK_EVENT_TRIGGER_AT_LOGON);
    EXPECT_EQ(job.triggers[0].wBeginYear, Today().wYear);
    EXPECT_EQ(RunAtSystemStart(), 1u);

    // Again (the options dialog's OK): the job stays as it is, the setting is written again.
    m_profile.WriteInt(L"RunAtSystemStart", 0);
    CreateStartupTask(Product());
    EXPECT_EQ(ReadJob(name).triggers.size(), 1u);
    EXPECT_EQ(RunAtSystemStart(), 1u);

    EXPECT_TRUE(DeleteStartupTask(Product()));
    EXPECT_FALSE(ReadJob(name).exists);
    EXPECT_EQ(RunAtSystemStart(), 0u);
    // Deleting a job that is not there still records the choice.
    m_profile.WriteInt(L"RunAtSystemStart", 1);
    EXPECT_FALSE(DeleteStartupTask(Product()));
    EXPECT_EQ(RunAtSystemStart(), 0u);
}

TEST_F(FixedTasksTest, EmptyProductNameUsesTheBuiltInJobNames) {
    JobCleaner builtIn(L"Kavendor ");
    CreateDefaultScanTask(Product(L""), false);
    CreateStartupTask(Product(L""));
    EXPECT_EQ(ReadJob(L"Kavendor Default").parameters, L"-scan");
    EXPECT_EQ(ReadJob(L"Kavendor Startup").parameters, L"-tray");
    EXPECT_TRUE(DeleteDefaultScanTask(Product(L"")));
    EXPECT_TRUE(DeleteStartupTask(Product(L"")));
    EXPECT_FALSE(ReadJob(L"Kavendor Default").exists);
    EXPECT_FALSE(ReadJob(L"Kavendor Startup").exists);
}

TEST_F(FixedTasksTest, ProductNamesThatAreNoFileNamesMakeNoJobs) {
    for (const wchar_t* bad : {L"..\\..\\Kv", L"Kv/Evil", L"Kv:stream", L"Kv*"}) {
        ScheduledTaskProduct product = Product(bad);
        CreateDefaultScanTask(product, false);
        CreateStartupTask(product);
        EXPECT_FALSE(Scheduler().TaskExists(DefaultScanTaskName(bad))) << bad;
        EXPECT_FALSE(DeleteDefaultScanTask(product)) << bad;
    }
}

// Install mode's decision for each fixed job.
enum class Expect { Created, Deleted, Left };

TEST_F(FixedTasksTest, InstallerChoicesDecideTheFixedJobs) {
    struct Case {
        const wchar_t* scheduledScan;
        const wchar_t* startupLogin;
        DWORD silent;
        Expect defaultJob, startupJob;
        bool startUpdate;
    };
    const Case cases[] = {
        {L"1", L"1", 0, Expect::Created, Expect::Created, false},
        {L"1", L"1", 1, Expect::Created, Expect::Created, false},
        {L"0", L"0", 0, Expect::Deleted, Expect::Deleted, true},
        {L"", L"", 0, Expect::Deleted, Expect::Deleted, true},
        {L"0", L"0", 1, Expect::Left, Expect::Left, false},
        {L"", L"", 1, Expect::Left, Expect::Left, false},
        {L"2", L"2", 0, Expect::Left, Expect::Left, false},
        {L"2", L"2", 1, Expect::Left, Expect::Left, false},
        {L"1", L"0", 0, Expect::Created, Expect::Deleted, false},
        {L"0", L"1", 0, Expect::Deleted, Expect::Created, true},
        {L"", L"1", 1, Expect::Left, Expect::Created, false},
        {L" 1", L"yes", 0, Expect::Left, Expect::Left, false},
    };
    int caseNumber = 0;
    for (const auto& c : cases) {
        for (bool jobsBefore : {false, true}) {
            SCOPED_TRACE(testing::Message() << "case " << caseNumber << " SCHEDULED_SCAN \"" << c.scheduledScan
                                            << "\" STARTUP_LOGIN \"" << c.startupLogin << "\" Silent " << c.silent
                                            << (jobsBefore ? " with jobs" : " without jobs"));
            const std::wstring app = m_strApp + L"_" + std::to_wstring(caseNumber) + (jobsBefore ? L"b" : L"a");
            const ScheduledTaskProduct product = Product(app);
            m_profile.WriteInt(L"RunAtSystemStart", 55);
            if (jobsBefore) {
                ASSERT_TRUE(MakeJob(DefaultScanTaskName(app), {Trigger(TASK_TIME_TRIGGER_DAILY, 9, 9)}, L"-old"));
                ASSERT_TRUE(MakeJob(StartupTaskName(app), {Trigger(TASK_EVENT_TRIGGER_AT_LOGON, 0, 0)}, L"-old"));
            }

            InstallerTaskResult result = ApplyInstallerTaskChoices(c.scheduledScan, c.startupLogin, c.silent, product);
            EXPECT_EQ(result.m_bStartUpdateDeleteTask, c.startUpdate);

            auto check = [&](const std::wstring& name, Expect expect, const wchar_t* newParameters) {
                StoredJob job = ReadJob(name);
                switch (expect) {
                    case Expect::Created:
                        ASSERT_TRUE(job.exists) << "created";
                        // An existing job is kept as it was.
                        EXPECT_EQ(job.parameters, jobsBefore ? std::wstring(L"-old") : std::wstring(newParameters));
                        break;
                    case Expect::Deleted:
                        EXPECT_FALSE(job.exists) << "deleted";
                        break;
                    case Expect::Left:
                        EXPECT_EQ(job.exists, jobsBefore) << "left";
                        if (job.exists) {
                            EXPECT_EQ(job.parameters, L"-old");
                        }
                        break;
                }
            };
            check(DefaultScanTaskName(app), c.defaultJob, L"-scan");
            check(StartupTaskName(app), c.startupJob, L"-tray");
            const UINT expectedSetting = c.startupJob == Expect::Created ? 1u : c.startupJob == Expect::Deleted ? 0u : 55u;
            EXPECT_EQ(RunAtSystemStart(), expectedSetting);
        }
        ++caseNumber;
    }
}

TEST_F(FixedTasksTest, UninstallRemovesEveryJobEvenPastOneThatCannotGo) {
    win::ComInit com;
    UserAccount account = GetCurrentUserAccount();
    const ScheduledTaskProduct product = Product();
    CreateDefaultScanTask(product, false);
    CreateStartupTask(product);
    {
        CScheduleManager manager;
        manager.Load(account.m_strUserName, account.m_strDomainName, m_strApp);
        ScheduleInfo info;
        info.m_nDays = 0x02;
        info.m_nHour = 2;
        info.m_strProgram = std::wstring(kFolder) + L"\\Kavendor.exe";
        info.m_strParameters = L"-scan";
        for (int i = 0; i < 3; ++i) ASSERT_EQ(manager.AddSchedule(info), 0);
    }
    // A job of another product stays.
    const std::wstring foreign = UniqueAppName(L"Other");
    JobCleaner foreignCleaner(foreign);
    ASSERT_TRUE(MakeJob(foreign + L"_sch_1", {Trigger(TASK_TIME_TRIGGER_WEEKLY, 1, 1)}, L"-scan"));

    // The first job the uninstaller will list cannot be deleted.
    CScheduleManager listing;
    listing.Load(account.m_strUserName, account.m_strDomainName, m_strApp);
    ASSERT_EQ(listing.GetCount(), 4);  // the default job and the three schedules
    std::wstring stuck;
    listing.GetName(0, stuck);
    ASSERT_TRUE(::SetFileAttributesW(JobFile(stuck).c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_EQ(RemoveAllScheduledTasks(product, account.m_strUserName, account.m_strDomainName), 1);

    std::vector<std::wstring> left;
    for (const auto& name : AllJobNames())
        if (name.rfind(m_strApp, 0) == 0) left.push_back(name);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0], stuck);
    EXPECT_TRUE(ReadJob(foreign + L"_sch_1").exists);
    EXPECT_EQ(RunAtSystemStart(), 0u);

    // Once it can go, a second uninstall finishes the work, and a third finds nothing to do.
    ASSERT_TRUE(::SetFileAttributesW(JobFile(stuck).c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(RemoveAllScheduledTasks(product, account.m_strUserName, account.m_strDomainName), 0);
    EXPECT_FALSE(ReadJob(stuck).exists);
    EXPECT_EQ(RemoveAllScheduledTasks(product, account.m_strUserName, account.m_strDomainName), 0);
}

}  // namespace
