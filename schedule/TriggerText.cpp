#include "schedule/TriggerText.h"

#include <vector>

#include "win/Strings.h"

namespace {

const wchar_t* const kDayNames[7] = {L"Sunday", L"Monday", L"Tuesday", L"Wednesday",
                                     L"Thursday", L"Friday", L"Saturday"};
const wchar_t* const kMonthNames[12] = {L"January", L"February", L"March", L"April", L"May", L"June",
                                        L"July", L"August", L"September", L"October", L"November", L"December"};
const wchar_t* const kWeekNames[5] = {L"first", L"second", L"third", L"fourth", L"last"};

// "a", "a and b", "a, b and c".
std::wstring JoinWords(const std::vector<std::wstring>& words) {
    std::wstring text;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i > 0) text += (i + 1 == words.size()) ? L" and " : L", ";
        text += words[i];
    }
    return text;
}

std::vector<std::wstring> DayWords(unsigned days) {
    std::vector<std::wstring> words;
    for (unsigned i = 0; i < 7; ++i)
        if (days & (1u << i)) words.emplace_back(kDayNames[i]);
    return words;
}

std::wstring MonthsText(unsigned months) {
    months &= 0xFFF;
    if (months == 0xFFF || months == 0) return L"every month";
    std::vector<std::wstring> words;
    for (unsigned i = 0; i < 12; ++i)
        if (months & (1u << i)) words.emplace_back(kMonthNames[i]);
    return JoinWords(words);
}

std::wstring TimeText(const TASK_TRIGGER& t) {
    return win::Format(L"At %02u:%02u", static_cast<unsigned>(t.wStartHour), static_cast<unsigned>(t.wStartMinute));
}

std::wstring DateText(const TASK_TRIGGER& t) {
    return win::Format(L"%u/%u/%u", static_cast<unsigned>(t.wBeginMonth), static_cast<unsigned>(t.wBeginDay),
                       static_cast<unsigned>(t.wBeginYear));
}

}  // namespace

std::wstring DescribeTrigger(const TASK_TRIGGER& t) {
    const std::wstring starting = L", starting " + DateText(t);
    switch (t.TriggerType) {
        case TASK_TIME_TRIGGER_ONCE:
            return TimeText(t) + L" on " + DateText(t);
        case TASK_TIME_TRIGGER_DAILY: {
            unsigned interval = t.Type.Daily.DaysInterval;
            if (interval <= 1) return TimeText(t) + L" every day" + starting;
            return TimeText(t) + win::Format(L" every %u days", interval) + starting;
        }
        case TASK_TIME_TRIGGER_WEEKLY: {
            unsigned interval = t.Type.Weekly.WeeksInterval;
            std::wstring weeks = interval <= 1 ? L"every week" : win::Format(L"every %u weeks", interval);
            auto days = DayWords(t.Type.Weekly.rgfDaysOfTheWeek);
            if (days.empty()) return TimeText(t) + L" on no day of " + weeks + starting;
            return TimeText(t) + L" every " + JoinWords(days) + L" of " + weeks + starting;
        }
        case TASK_TIME_TRIGGER_MONTHLYDATE: {
            std::vector<std::wstring> dates;
            for (unsigned i = 0; i < 31; ++i)
                if (t.Type.MonthlyDate.rgfDays & (1u << i)) dates.push_back(win::Format(L"%u", i + 1));
            if (dates.empty()) return TimeText(t) + L" on no day of " + MonthsText(t.Type.MonthlyDate.rgfMonths) + starting;
            return TimeText(t) + L" on day " + JoinWords(dates) + L" of " + MonthsText(t.Type.MonthlyDate.rgfMonths) +
                   starting;
        }
        case TASK_TIME_TRIGGER_MONTHLYDOW: {
            unsigned week = t.Type.MonthlyDOW.wWhichWeek;
            const wchar_t* which = (week >= 1 && week <= 5) ? kWeekNames[week - 1] : L"first";
            auto days = DayWords(t.Type.MonthlyDOW.rgfDaysOfTheWeek);
            std::wstring dayText = days.empty() ? std::wstring(L"day") : JoinWords(days);
            return TimeText(t) + L" on the " + which + L" " + dayText + L" of " +
                   MonthsText(t.Type.MonthlyDOW.rgfMonths) + starting;
        }
        case TASK_EVENT_TRIGGER_ON_IDLE:
            return L"When the computer is idle";
        case TASK_EVENT_TRIGGER_AT_SYSTEMSTART:
            return L"At system start-up";
        case TASK_EVENT_TRIGGER_AT_LOGON:
            return L"At logon";
        default:
            return L"Unknown trigger";
    }
}
