// The decision of the notification command.
#include "monitor/notify_decision.h"

#include "app/history.h"
#include "monitor/status_text.h"

namespace {

const int64_t DAY_SECONDS = 86400;
const char NORMAL_GRADE[] = "正常";
const char PREVIOUS_COLUMN_TITLE[] = "前回通知時";

bool AnyProblem(const std::vector<TargetGrade>& grades) {
    for (const TargetGrade& target : grades) {
        if (target.grade != NORMAL_GRADE) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string GradeOf(int32_t status, int64_t forecast, uint32_t days) {
    if (status == STATUS_NORMAL && days != 0 && forecast != FORECAST_NONE &&
        forecast <= int64_t{days} * DAY_SECONDS) {
        return GRADE_SOON_FULL;
    }
    return StatusWord(status);
}

std::vector<TargetGrade> CycleGrades(const std::vector<CheckResult>& results,
                                     const CheckHistory* history, uint32_t forecastDays) {
    std::vector<TargetGrade> grades;
    std::map<std::string, unsigned> seen;
    for (const CheckResult& result : results) {
        if (!IsListed(result)) {
            continue;
        }
        std::string key = HistoryKey(result.host, result.port, result.path) + "\t" +
                          std::to_string(result.threshold) + "\t" + std::to_string(result.unit);
        unsigned occurrence = ++seen[key];
        if (occurrence > 1) {
            key += "\t#" + std::to_string(occurrence);
        }
        int64_t forecast = history != nullptr ? history->ForecastOf(result) : FORECAST_NONE;
        grades.push_back({key, GradeOf(result.status, forecast, forecastDays)});
    }
    return grades;
}

const char* NotifyEventName(NotifyEvent event) {
    switch (event) {
        case NOTIFY_PROBLEM:
            return "problem";
        case NOTIFY_RECOVERY:
            return "recovery";
        case NOTIFY_REMINDER:
            return "reminder";
        default:
            return "";
    }
}

NotifyDecision DecideNotification(const NotifiedState& last, const std::vector<TargetGrade>& now,
                                  int64_t time, uint32_t renotifyMinutes) {
    NotifyDecision decision;
    bool problem = AnyProblem(now);
    std::map<std::string, std::string> grades;
    for (const TargetGrade& target : now) {
        grades[target.key] = target.grade;
    }
    if (!last.known) {
        // Nothing was notified since the start: what is not normal is new.
        for (const TargetGrade& target : now) {
            decision.changed += target.grade != NORMAL_GRADE ? 1 : 0;
        }
    } else {
        for (const auto& entry : grades) {
            auto before = last.grades.find(entry.first);
            decision.changed += before == last.grades.end() || before->second != entry.second;
        }
        for (const auto& entry : last.grades) {
            decision.changed += grades.count(entry.first) == 0 ? 1 : 0;
        }
    }

    decision.next = last;
    if (!last.known || decision.changed > 0) {
        if (problem) {
            decision.event = NOTIFY_PROBLEM;
        } else if (last.known && last.problem) {
            decision.event = NOTIFY_RECOVERY;
        }
        // A change among normal targets is remembered silently; it keeps the time of the
        // last notification.
        decision.next.known = true;
        decision.next.grades = grades;
        decision.next.problem = problem;
        if (decision.event != NOTIFY_NOTHING) {
            decision.next.time = time;
        }
        return decision;
    }
    if (time < last.time) {
        // The clock was set back past the last notification (it had run ahead, or a local
        // BIOS clock was corrected): the reminder counts from now, not from a time that
        // may lie a year ahead.
        decision.next.time = time;
        return decision;
    }
    if (problem && renotifyMinutes != 0 && time - last.time >= int64_t{renotifyMinutes} * 60) {
        decision.event = NOTIFY_REMINDER;
        decision.next.time = time;
    }
    return decision;
}

std::string NotifyListText(const std::string& statusList, const std::vector<TargetGrade>& grades,
                           const NotifiedState& last) {
    std::string text;
    size_t start = 0;
    size_t row = 0;
    while (start < statusList.size()) {
        size_t end = statusList.find('\n', start);
        if (end == std::string::npos) {
            end = statusList.size();
        }
        text.append(statusList, start, end - start);
        text += '\t';
        if (start == 0) {
            text += PREVIOUS_COLUMN_TITLE;
        } else {
            const char* previous = "-";
            if (row < grades.size()) {
                auto found = last.grades.find(grades[row].key);
                previous = found != last.grades.end() ? found->second.c_str() : "-";
            }
            text += previous;
            row++;
        }
        text += '\n';
        start = end + 1;
    }
    return text;
}
