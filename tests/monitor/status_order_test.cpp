// The status list's orders, column widths and empty texts, over plain results.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/forecast.h"
#include "app/host_entry.h"
#include "monitor/status_order.h"

namespace {

CheckResult Row(uint32_t listRow, int32_t status, const char* host, const char* path,
                uint32_t unit, uint32_t threshold, uint64_t value, uint16_t minute) {
    CheckResult result;
    memset(&result, 0, sizeof result);
    result.listRow = listRow;
    result.status = status;
    strcpy(result.host, host);
    strcpy(result.path, path);
    strcpy(result.description, path);
    result.unit = unit;
    result.threshold = threshold;
    result.value = value;
    result.year = 2024;
    result.minute = minute;
    return result;
}

std::vector<std::string> Paths(const std::vector<CheckResult>& results) {
    std::vector<std::string> paths;
    for (const CheckResult& result : results) {
        paths.push_back(result.path);
    }
    return paths;
}

// The volumes C and D of a "*" row (row 1) came from one thread, between other rows'.
TEST(OrderByHostList, RowsByTheirListRowAndTheVolumesOfAStarRowInTheServersOrder) {
    std::vector<CheckResult> results = {
        Row(3, STATUS_NORMAL, "d", "r3", 0, 1, 1, 0), Row(1, STATUS_NORMAL, "b", "C:", 0, 1, 1, 0),
        Row(1, STATUS_NORMAL, "b", "D:", 0, 1, 1, 0), Row(0, STATUS_NORMAL, "a", "r0", 0, 1, 1, 0),
        Row(2, STATUS_NORMAL, "c", "r2", 0, 1, 1, 0), Row(1, STATUS_NORMAL, "b", "A:", 0, 1, 1, 0),
    };
    OrderByHostList(&results);
    EXPECT_EQ((std::vector<std::string>{"r0", "C:", "D:", "A:", "r2", "r3"}), Paths(results));
}

// Given in host-list order but arriving shuffled: each sort, and the same ties stay in
// host-list order either way round.
TEST(StatusRowOrder, EachColumnsOrderAndItsReverseWithTiesInHostListOrder) {
    const std::vector<CheckResult> results = {
        Row(4, STATUS_ERROR, "Echo", "e", UNIT_PERCENT, 10, 0, 5),
        Row(0, STATUS_NORMAL, "alpha", "a", UNIT_PERCENT, 10, 500, 9),
        Row(2, STATUS_DANGER, "charlie", "c", UNIT_MB, 100, 5ull << 20, 3),
        Row(1, STATUS_CAUTION, "Bravo", "b", UNIT_GB, 1, 900ull << 20, 9),
        Row(3, STATUS_WARNING, "alpha", "d", UNIT_PERCENT, 20, 80, 6),
        Row(5, 9, "foxtrot", "f", UNIT_KB, 1, 2048, 1),
    };
    const std::vector<int64_t> forecasts = {FORECAST_NONE, 3600, 60, FORECAST_NONE, 7200, 10};
    struct Case {
        int column;
        bool reversed;
        const char* order;  // the paths, top row first
    };
    const Case cases[] = {
        {STATUS_SORT_NONE, false, "abcdef"},
        {0, false, "cefdba"},  // danger, error and the unknown status, warning, caution, normal
        {0, true, "abdefc"},
        {1, false, "fcedab"},  // the time, oldest first; a and b checked alike
        {1, true, "abdecf"},
        {2, false, "adbcef"},  // the host, either case alike: alpha, alpha, Bravo, ...
        {2, true, "fecbad"},
        {4, false, "aedfcb"},  // 10 %, 10 %, 20 %, then 1 KB, 100 MB, 1 GB
        {4, true, "bcfdae"},
        {5, false, "dafcbe"},  // 8 %, 50 %, then 2 KB, 5 MB, 900 MB; errors last
        {5, true, "ebcfad"},
        {7, false, "fcadbe"},  // 10 s, 1 min, 1 h, 2 h, then those without a forecast
        {7, true, "bedacf"},
    };
    for (const Case& c : cases) {
        StatusSort sort{c.column, c.reversed};
        std::string order;
        for (size_t index : StatusRowOrder(results, forecasts, sort)) {
            order += results[index].path;
        }
        EXPECT_EQ(c.order, order) << "column " << c.column << (c.reversed ? " reversed" : "");
    }
}

TEST(ClickedSort, AClickSortsByItsColumnAndASecondClickReverses) {
    struct Case {
        StatusSort before;
        int column;
        StatusSort after;
    };
    const Case cases[] = {
        {{STATUS_SORT_NONE, false}, 0, {0, false}},
        {{0, false}, 0, {0, true}},
        {{0, true}, 0, {0, false}},
        {{0, true}, 3, {3, false}},
    };
    for (const Case& c : cases) {
        StatusSort after = ClickedSort(c.before, c.column);
        EXPECT_EQ(c.after.column, after.column);
        EXPECT_EQ(c.after.reversed, after.reversed) << c.before.column << " " << c.column;
    }
}

TEST(FitColumnWidths, EachColumnItsContentAndTheFillColumnWhatIsLeft) {
    struct Case {
        std::vector<int> content;
        size_t fill;
        int available;
        std::vector<int> widths;
    };
    const Case cases[] = {
        {{50, 140, 30}, 2, 300, {50, 140, 110}},
        {{50, 140, 30}, 1, 300, {50, 220, 30}},
        {{50, 140, 30}, 2, 100, {50, 140, 30}},  // too narrow: nothing is cut, the list scrolls
        {{50, 140, 30}, 3, 300, {50, 140, 30}},  // no fill column
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.widths, FitColumnWidths(c.content, c.fill, c.available)) << c.available;
    }
}

TEST(StatusEmptyText, SaysWhyTheListIsEmpty) {
    struct Case {
        bool cycleRan;
        unsigned targets;
        bool clientOn;
        const char* text;
    };
    const Case cases[] = {
        {false, 0, true, "まだ問合せをしていません。最初の結果をお待ちください。"},
        {false, 0, false, "クライアント機能がオフのため、問合せをしていません。"},
        {true, 0, true, "監視対象がありません。設定でホストを登録してください。"},
        {true, 0, false, "監視対象がありません。設定でホストを登録してください。"},
        {true, 3, true, nullptr},
    };
    for (const Case& c : cases) {
        const char* text = StatusEmptyText(c.cycleRan, c.targets, c.clientOn);
        EXPECT_EQ(std::string(c.text ? c.text : "(none)"), std::string(text ? text : "(none)"));
    }
}

}  // namespace
