#include <gtest/gtest.h>

#include "schedule/TriggerText.h"
#include "tests/schedule/TestJobs.h"

using schedtest::Trigger;

namespace {

TASK_TRIGGER Weekly(WORD days, WORD interval, WORD hour, WORD minute) {
    TASK_TRIGGER t = Trigger(TASK_TIME_TRIGGER_WEEKLY, hour, minute);
    t.Type.Weekly.rgfDaysOfTheWeek = days;
    t.Type.Weekly.WeeksInterval = interval;
    return t;
}

TASK_TRIGGER Daily(WORD interval) {
    TASK_TRIGGER t = Trigger(TASK_TIME_TRIGGER_DAILY, 7, 5, 2027, 1, 3);
    t.Type.Daily.DaysInterval = interval;
    return t;
}

TASK_TRIGGER MonthlyDate(DWORD days, WORD months) {
    TASK_TRIGGER t = Trigger(TASK_TIME_TRIGGER_MONTHLYDATE, 23, 59);
    t.Type.MonthlyDate.rgfDays = days;
    t.Type.MonthlyDate.rgfMonths = months;
    return t;
}

TASK_TRIGGER MonthlyDow(WORD week, WORD days, WORD months) {
    TASK_TRIGGER t = Trigger(TASK_TIME_TRIGGER_MONTHLYDOW, 1, 0);
    t.Type.MonthlyDOW.wWhichWeek = week;
    t.Type.MonthlyDOW.rgfDaysOfTheWeek = days;
    t.Type.MonthlyDOW.rgfMonths = months;
    return t;
}

TASK_TRIGGER OfType(int type) {
    TASK_TRIGGER t = Trigger(TASK_TIME_TRIGGER_ONCE, 0, 0);
    t.TriggerType = static_cast<TASK_TRIGGER_TYPE>(type);
    return t;
}

TEST(DescribeTrigger, RendersEveryKindOfTrigger) {
    struct Case {
        TASK_TRIGGER trigger;
        const wchar_t* text;
    };
    const Case cases[] = {
        {Weekly(0x12, 1, 2, 0), L"At 02:00 every Monday and Thursday of every week, starting 12/11/2026"},
        {Weekly(0x01, 1, 0, 0), L"At 00:00 every Sunday of every week, starting 12/11/2026"},
        {Weekly(0x7F, 1, 23, 59),
         L"At 23:59 every Sunday, Monday, Tuesday, Wednesday, Thursday, Friday and Saturday of every week, "
         L"starting 12/11/2026"},
        {Weekly(0x44, 2, 4, 58), L"At 04:58 every Tuesday and Saturday of every 2 weeks, starting 12/11/2026"},
        {Weekly(0x00, 1, 4, 5), L"At 04:05 on no day of every week, starting 12/11/2026"},
        {Weekly(0xFF80 | 0x02, 0, 4, 5), L"At 04:05 every Monday of every week, starting 12/11/2026"},
        {Daily(1), L"At 07:05 every day, starting 1/3/2027"},
        {Daily(0), L"At 07:05 every day, starting 1/3/2027"},
        {Daily(3), L"At 07:05 every 3 days, starting 1/3/2027"},
        {Trigger(TASK_TIME_TRIGGER_ONCE, 9, 30, 2026, 7, 4), L"At 09:30 on 7/4/2026"},
        {MonthlyDate(0x4001, 0xFFF), L"At 23:59 on day 1 and 15 of every month, starting 12/11/2026"},
        {MonthlyDate(0x40000000, 0x041), L"At 23:59 on day 31 of January and July, starting 12/11/2026"},
        {MonthlyDate(0, 0xFFF), L"At 23:59 on no day of every month, starting 12/11/2026"},
        {MonthlyDow(1, 0x02, 0xFFF), L"At 01:00 on the first Monday of every month, starting 12/11/2026"},
        {MonthlyDow(5, 0x41, 0x800), L"At 01:00 on the last Sunday and Saturday of December, starting 12/11/2026"},
        {MonthlyDow(9, 0, 0), L"At 01:00 on the first day of every month, starting 12/11/2026"},
        {OfType(TASK_EVENT_TRIGGER_ON_IDLE), L"When the computer is idle"},
        {OfType(TASK_EVENT_TRIGGER_AT_SYSTEMSTART), L"At system start-up"},
        {OfType(TASK_EVENT_TRIGGER_AT_LOGON), L"At logon"},
        {OfType(8), L"Unknown trigger"},
        {OfType(-1), L"Unknown trigger"},
    };
    for (const auto& c : cases) EXPECT_EQ(DescribeTrigger(c.trigger), c.text);
}

TEST(DescribeTrigger, OutOfRangeFieldsFromAJobFileStillGiveText) {
    TASK_TRIGGER t = Weekly(0x0A, 65535, 65535, 65535);
    t.wBeginYear = 65535;
    t.wBeginMonth = 0;
    t.wBeginDay = 99;
    EXPECT_EQ(DescribeTrigger(t), L"At 65535:65535 every Monday and Wednesday of every 65535 weeks, starting 0/99/65535");
}

}  // namespace
