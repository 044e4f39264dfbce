// The decision of the notification command: when a change, a reminder or a recovery is
// due, what counts as changed, the grades of a cycle, and the list the command reads.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/forecast.h"
#include "monitor/notify_decision.h"

namespace {

struct Step {
    std::vector<std::pair<std::string, std::string>> grades;  // key, grade
    int64_t minute;                                           // time of the cycle
    NotifyEvent event;
    unsigned changed;
};

// Runs the steps as consecutive cycles, each compared with what the previous ones left.
void RunSteps(const std::vector<Step>& steps, uint32_t renotify) {
    NotifiedState state;
    for (size_t i = 0; i < steps.size(); i++) {
        std::vector<TargetGrade> grades;
        for (const auto& grade : steps[i].grades) {
            grades.push_back({grade.first, grade.second});
        }
        NotifyDecision decision = DecideNotification(state, grades, steps[i].minute * 60, renotify);
        EXPECT_EQ(steps[i].event, decision.event) << "step " << i;
        EXPECT_EQ(steps[i].changed, decision.changed) << "step " << i;
        state = decision.next;
    }
}

TEST(DecideNotification, AProblemOnceAReminderAfterRenotifyAndOneRecovery) {
    RunSteps({{{{"a", "正常"}, {"b", "正常"}}, 0, NOTIFY_NOTHING, 0},
              {{{"a", "注意"}, {"b", "正常"}}, 10, NOTIFY_PROBLEM, 1},
              {{{"a", "注意"}, {"b", "正常"}}, 20, NOTIFY_NOTHING, 0},
              {{{"a", "注意"}, {"b", "正常"}}, 69, NOTIFY_NOTHING, 0},
              {{{"a", "注意"}, {"b", "正常"}}, 70, NOTIFY_REMINDER, 0},
              {{{"a", "注意"}, {"b", "正常"}}, 80, NOTIFY_NOTHING, 0},
              {{{"a", "危険"}, {"b", "エラー"}}, 90, NOTIFY_PROBLEM, 2},
              {{{"a", "危険"}, {"b", "エラー"}}, 149, NOTIFY_NOTHING, 0},
              {{{"a", "正常"}, {"b", "正常"}}, 150, NOTIFY_RECOVERY, 2},
              {{{"a", "正常"}, {"b", "正常"}}, 1000, NOTIFY_NOTHING, 0}},
             60);
}

TEST(DecideNotification, TheFirstCycleNotifiesOnlyWhatIsNotNormal) {
    RunSteps({{{{"a", "正常"}, {"b", "エラー"}, {"c", "満杯予測"}}, 0, NOTIFY_PROBLEM, 2}}, 60);
    RunSteps({{{}, 0, NOTIFY_NOTHING, 0}, {{{"a", "正常"}}, 1, NOTIFY_NOTHING, 1}}, 60);
}

TEST(DecideNotification, AddedAndRemovedTargetsAreChanges) {
    RunSteps({{{{"a", "警告"}}, 0, NOTIFY_PROBLEM, 1},
              {{{"a", "警告"}, {"b", "正常"}}, 1, NOTIFY_PROBLEM, 1},  // added
              {{{"b", "正常"}}, 2, NOTIFY_RECOVERY, 1},                // the bad one removed
              {{{"b", "正常"}, {"c", "注意"}}, 3, NOTIFY_PROBLEM, 1}},
             0);
}

// With everything normal before and after, a changed list is remembered silently: the
// next cycle is no change either.
TEST(DecideNotification, ChangesAmongNormalTargetsNotifyNothing) {
    RunSteps({{{{"a", "正常"}}, 0, NOTIFY_NOTHING, 0},
              {{{"a", "正常"}, {"b", "正常"}}, 1, NOTIFY_NOTHING, 1},
              {{{"a", "正常"}, {"b", "正常"}}, 2, NOTIFY_NOTHING, 0},
              {{{"b", "注意"}}, 3, NOTIFY_PROBLEM, 2}},
             60);
}

TEST(DecideNotification, Renotify0NeverReminds) {
    RunSteps(
        {{{{"a", "危険"}}, 0, NOTIFY_PROBLEM, 1}, {{{"a", "危険"}}, 100000, NOTIFY_NOTHING, 0}}, 0);
}

// The reminder counts from the last notification, a reminder included, not from the start
// of the problem.
TEST(DecideNotification, RemindersFollowEachOtherAtTheInterval) {
    RunSteps({{{{"a", "エラー"}}, 0, NOTIFY_PROBLEM, 1},
              {{{"a", "エラー"}}, 1440, NOTIFY_REMINDER, 0},
              {{{"a", "エラー"}}, 2000, NOTIFY_NOTHING, 0},
              {{{"a", "エラー"}}, 2880, NOTIFY_REMINDER, 0}},
             1440);
}

// A clock a year ahead for one cycle, then set right: the reminders count from the cycle
// back in time, not from the date a year ahead.
TEST(DecideNotification, AClockSetBackPastTheLastNotificationRemindsFromNow) {
    const int64_t YEAR = 525600;
    RunSteps({{{{"a", "エラー"}}, 0, NOTIFY_PROBLEM, 1},
              {{{"a", "エラー"}}, YEAR, NOTIFY_REMINDER, 0},
              {{{"a", "エラー"}}, 10, NOTIFY_NOTHING, 0},
              {{{"a", "エラー"}}, 1449, NOTIFY_NOTHING, 0},
              {{{"a", "エラー"}}, 1450, NOTIFY_REMINDER, 0}},
             1440);
}

TEST(GradeOf, TheStatusWordOrSoonFullForANormalDiskWithinTheDays) {
    struct Case {
        int32_t status;
        int64_t forecast;
        uint32_t days;
        const char* grade;
    } cases[] = {
        {STATUS_NORMAL, FORECAST_NONE, 7, "正常"},
        {STATUS_NORMAL, 7 * 86400, 7, "満杯予測"},
        {STATUS_NORMAL, 7 * 86400 + 1, 7, "正常"},
        {STATUS_NORMAL, 3600, 0, "正常"},
        {STATUS_CAUTION, 3600, 7, "注意"},
        {STATUS_WARNING, FORECAST_NONE, 7, "警告"},
        {STATUS_DANGER, 0, 7, "危険"},
        {STATUS_ERROR, FORECAST_NONE, 7, "エラー"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.grade, GradeOf(c.status, c.forecast, c.days))
            << c.status << " " << c.forecast << " " << c.days;
    }
}

CheckResult Result(const char* host, const char* path, uint32_t threshold, int32_t status) {
    CheckResult result;
    memset(&result, 0, sizeof result);
    strcpy(result.host, host);
    strcpy(result.path, path);
    result.port = 50801;
    result.threshold = threshold;
    result.status = status;
    return result;
}

// A target listed twice keeps both rows, and another threshold is another target.
TEST(CycleGrades, UnlistedResultsAreLeftOutAndEveryListedOneHasItsOwnKey) {
    std::vector<TargetGrade> grades =
        CycleGrades({Result("h", "/", 10, STATUS_NORMAL), Result("h", "/", 10, STATUS_DANGER),
                     Result("h", "/", 20, STATUS_NORMAL), Result("h", "/x", 10, STATUS_NONE)},
                    nullptr, 7);
    ASSERT_EQ(3u, grades.size());
    EXPECT_EQ("正常", grades[0].grade);
    EXPECT_EQ("危険", grades[1].grade);
    EXPECT_NE(grades[0].key, grades[1].key);
    EXPECT_NE(grades[0].key, grades[2].key);
    EXPECT_EQ(grades[0].key, CycleGrades({Result("h", "/", 10, STATUS_ERROR)}, nullptr, 7)[0].key);
}

TEST(NotifyListText, EachRowGetsItsGradeAtTheLastNotification) {
    NotifiedState last;
    last.known = true;
    last.grades = {{"a", "正常"}, {"gone", "危険"}};
    EXPECT_EQ(
        "状態\tホスト\t前回通知時\n注意\th1\t正常\n危険\th2\t-\n",
        NotifyListText("状態\tホスト\n注意\th1\n危険\th2\n", {{"a", "注意"}, {"b", "危険"}}, last));
    EXPECT_EQ("状態\tホスト\t前回通知時\n", NotifyListText("状態\tホスト\n", {}, last));
}

}  // namespace
