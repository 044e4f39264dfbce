// Whether the end of a check cycle calls for the notification command, and what it tells:
// each target's grade is compared with its grade at the last notification. Plain logic
// over its inputs, so that it is tested without the application object.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "net/check_result.h"

class CheckHistory;

const char GRADE_SOON_FULL[] = "満杯予測";  // a normal disk forecast full within FORECAST days

// One target of a cycle: the key it is known by across cycles and its grade.
struct TargetGrade {
    std::string key;    // host, port, path, threshold and unit
    std::string grade;  // 正常, 注意, 警告, 危険, エラー or 満杯予測
};

// The grade of a result: the word of its status, or 満杯予測 for a normal disk whose
// forecast (seconds until full) is within days days (days 0: no forecast grade).
std::string GradeOf(int32_t status, int64_t forecast, uint32_t days);
// The grades of a cycle's listed results, in their order. A target listed twice keeps both
// grades, the second under its key marked as the second.
std::vector<TargetGrade> CycleGrades(const std::vector<CheckResult>& results,
                                     const CheckHistory* history, uint32_t forecastDays);

// What was notified last; what the next cycle is compared with.
struct NotifiedState {
    bool known = false;  // false until the first cycle after the start
    std::map<std::string, std::string> grades;
    bool problem = false;  // something was not normal
    int64_t time = 0;      // when it was notified (Unix seconds)
};

enum NotifyEvent { NOTIFY_NOTHING, NOTIFY_PROBLEM, NOTIFY_RECOVERY, NOTIFY_REMINDER };
// "problem", "recovery", "reminder"; "" for NOTIFY_NOTHING.
const char* NotifyEventName(NotifyEvent event);

struct NotifyDecision {
    NotifyEvent event = NOTIFY_NOTHING;
    unsigned changed = 0;  // targets whose grade differs, added and removed ones included
    NotifiedState next;    // what is remembered once this cycle is dealt with
};

// A change notifies when something is not normal (problem) or, everything being normal,
// when something was not at the last notification (recovery); a change among normal
// targets alone is remembered without a notification. The first cycle after the start
// notifies only a problem. With nothing changed and something not normal, a reminder is
// due renotifyMinutes after the last notification (0: never); a time before the last
// notification (a clock set back) counts as the last notification's, so that the next
// reminder comes renotifyMinutes from it.
NotifyDecision DecideNotification(const NotifiedState& last, const std::vector<TargetGrade>& now,
                                  int64_t time, uint32_t renotifyMinutes);

// The status list text with one more column, the grade at the last notification ("-" for
// a target not known then); the rows of the list are those of the listed results.
std::string NotifyListText(const std::string& statusList, const std::vector<TargetGrade>& grades,
                           const NotifiedState& last);
