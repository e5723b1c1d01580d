#include <gtest/gtest.h>

#include "schedule/Scheduler.h"
#include "tests/schedule/TestJobs.h"

using namespace schedtest;

namespace {

const wchar_t kProgram[] = L"C:\\Program Files\\Velmora\\Tork3\\Velmora_Update3.exe";

class SchedulerTest : public testing::Test {
protected:
    SchedulerTest() : m_strName(UniqueAppName(L"Job")), m_cleaner(m_strName) {}
    std::wstring m_strName;
    JobCleaner m_cleaner;
};

TEST_F(SchedulerTest, CreatesAJobWithItsTriggerAndParametersInOneStep) {
    Scheduler scheduler(kProgram);
    EXPECT_FALSE(scheduler.TaskExists(m_strName));
    TASK_TRIGGER weekly = Trigger(TASK_TIME_TRIGGER_WEEKLY, 3, 4);
    ASSERT_TRUE(scheduler.CreateTask(m_strName, L"C:\\Program Files\\Velmora\\Tork3", L"Velmora Update", &weekly,
                                     L"-fs"));
    EXPECT_TRUE(scheduler.TaskExists(m_strName));
    StoredJob job = ReadJob(m_strName);
    EXPECT_EQ(job.program, kProgram);
    EXPECT_EQ(job.workingFolder, L"C:\\Program Files\\Velmora\\Tork3");
    EXPECT_EQ(job.comment, L"Velmora Update");
    EXPECT_EQ(job.parameters, L"-fs");
    EXPECT_TRUE(job.flags & TASK_FLAG_RUN_ONLY_IF_LOGGED_ON);
    ASSERT_EQ(job.triggers.size(), 1u);
    EXPECT_EQ(job.triggers[0].TriggerType, TASK_TIME_TRIGGER_WEEKLY);
    EXPECT_EQ(job.triggers[0].wStartHour, 3);
    EXPECT_EQ(job.triggers[0].wStartMinute, 4);
    EXPECT_EQ(scheduler.GetTriggerCount(m_strName), 1);

    // A job of that name exists already.
    EXPECT_FALSE(scheduler.CreateTask(m_strName, L"C:\\", L"again"));
    EXPECT_EQ(scheduler.LastResult(), HRESULT_FROM_WIN32(ERROR_FILE_EXISTS));
    EXPECT_EQ(ReadJob(m_strName).comment, L"Velmora Update");

    EXPECT_TRUE(scheduler.DeleteTask(m_strName));
    EXPECT_FALSE(scheduler.TaskExists(m_strName));
    EXPECT_FALSE(scheduler.DeleteTask(m_strName));
    EXPECT_TRUE(FAILED(scheduler.LastResult()));
}

TEST_F(SchedulerTest, TriggersAndParametersOfAnExistingJob) {
    Scheduler scheduler(kProgram);
    ASSERT_TRUE(scheduler.CreateTask(m_strName, L"C:\\", L"comment"));
    const int start = scheduler.GetTriggerCount(m_strName);

    scheduler.AddTrigger(m_strName, nullptr);
    EXPECT_EQ(scheduler.GetTriggerCount(m_strName), start);
    TASK_TRIGGER logon = Trigger(TASK_EVENT_TRIGGER_AT_LOGON, 0, 0);
    TASK_TRIGGER daily = Trigger(TASK_TIME_TRIGGER_DAILY, 22, 10);
    scheduler.AddTrigger(m_strName, &logon);
    scheduler.AddTrigger(m_strName, &daily);
    ASSERT_EQ(scheduler.GetTriggerCount(m_strName), start + 2);
    StoredJob job = ReadJob(m_strName);
    EXPECT_EQ(job.triggers[start].TriggerType, TASK_EVENT_TRIGGER_AT_LOGON);
    EXPECT_EQ(job.triggers[start + 1].wStartHour, 22);

    scheduler.SetParameters(m_strName, L"-one");
    EXPECT_EQ(ReadJob(m_strName).parameters, L"-one");
    scheduler.UpdateParameters(m_strName, L"-two");
    EXPECT_EQ(ReadJob(m_strName).parameters, L"-two");

    EXPECT_TRUE(scheduler.DeleteTrigger(m_strName, start));
    ASSERT_EQ(scheduler.GetTriggerCount(m_strName), start + 1);
    EXPECT_EQ(ReadJob(m_strName).triggers[start].wStartHour, 22);
    EXPECT_FALSE(scheduler.DeleteTrigger(m_strName, 50));
    EXPECT_FALSE(scheduler.DeleteTrigger(m_strName, -1));
    EXPECT_EQ(scheduler.GetTriggerCount(m_strName), start + 1);
}

TEST_F(SchedulerTest, MissingJobsAreNeitherChangedNorCreated) {
    Scheduler scheduler(kProgram);
    TASK_TRIGGER daily = Trigger(TASK_TIME_TRIGGER_DAILY, 1, 1);
    scheduler.AddTrigger(m_strName, &daily);
    scheduler.UpdateParameters(m_strName, L"-scan");
    scheduler.SetParameters(m_strName, L"-scan");
    EXPECT_FALSE(scheduler.TaskExists(m_strName));
    EXPECT_EQ(scheduler.GetTriggerCount(m_strName), 0);
    EXPECT_FALSE(scheduler.DeleteTrigger(m_strName, 0));
    EXPECT_FALSE(scheduler.DeleteTask(m_strName));
}

TEST(JobNames, PathAndReservedCharactersAreRefused) {
    struct Case {
        const wchar_t* name;
        bool valid;
    };
    const Case cases[] = {
        {L"Kavendor Default", true}, {L"Kavendor_sch_1B4E28BA-2FA1-11D2-883F-0016D3CCA427", true},
        {L"Velmora Update Version3", true}, {L"", false}, {L".", false}, {L"..", false},
        {L"..\\Kavendor Default", false}, {L"a/b", false}, {L"c:x", false}, {L"a*", false}, {L"a?", false},
        {L"a\"b", false}, {L"a<b", false}, {L"a>b", false}, {L"a|b", false}, {L"a\tb", false},
    };
    Scheduler scheduler;
    for (const auto& c : cases) {
        EXPECT_EQ(IsValidJobName(c.name), c.valid) << c.name;
        if (!c.valid) {
            EXPECT_FALSE(scheduler.CreateTask(c.name, L"C:\\", L"x")) << c.name;
            EXPECT_EQ(scheduler.LastResult(), E_INVALIDARG) << c.name;
            EXPECT_FALSE(scheduler.DeleteTask(c.name)) << c.name;
        }
    }
}

}  // namespace
