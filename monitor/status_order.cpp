// The status list's order, column widths and empty text.
#include "monitor/status_order.h"

#include <algorithm>
#include <tuple>

#include "app/forecast.h"
#include "app/host_entry.h"

namespace {

// Worse grades rank higher; a status the program does not know counts as an error.
int Severity(int32_t status) {
    switch (status) {
        case STATUS_NORMAL:
            return 0;
        case STATUS_CAUTION:
            return 1;
        case STATUS_WARNING:
            return 2;
        case STATUS_DANGER:
            return 4;
        default:
            return 3;
    }
}

char Folded(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// -1, 0 or 1 as a is before, with or after b, ASCII letters in either case alike; other
// bytes (Japanese text) by their value.
int CompareText(const char* a, const char* b) {
    for (; *a != '\0' || *b != '\0'; a++, b++) {
        unsigned char x = static_cast<unsigned char>(Folded(*a));
        unsigned char y = static_cast<unsigned char>(Folded(*b));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return 0;
}

template <typename T>
int Compare(const T& a, const T& b) {
    return a < b ? -1 : b < a ? 1 : 0;
}

// -1, 0 or 1 as row a comes before, with or after row b in the column's own order.
int CompareIn(int column, const CheckResult& a, const CheckResult& b, int64_t forecastA,
              int64_t forecastB) {
    switch (column) {
        case 0:
            return Compare(Severity(b.status), Severity(a.status));
        case 1:
            return Compare(std::make_tuple(a.year, a.month, a.day, a.hour, a.minute, a.second),
                           std::make_tuple(b.year, b.month, b.day, b.hour, b.minute, b.second));
        case 2:
            return CompareText(a.host, b.host);
        case 3:
            return CompareText(a.path, b.path);
        case 4:
            return Compare(std::make_tuple(a.unit != UNIT_PERCENT, ThresholdLimit(a.threshold, a.unit)),
                           std::make_tuple(b.unit != UNIT_PERCENT, ThresholdLimit(b.threshold, b.unit)));
        case 5:
            return Compare(std::make_tuple(a.status == STATUS_ERROR, a.unit != UNIT_PERCENT, a.value),
                           std::make_tuple(b.status == STATUS_ERROR, b.unit != UNIT_PERCENT, b.value));
        case 6:
            return CompareText(a.description, b.description);
        case 7:
            return Compare(std::make_tuple(forecastA == FORECAST_NONE, forecastA),
                           std::make_tuple(forecastB == FORECAST_NONE, forecastB));
        default:
            return 0;
    }
}

}  // namespace

void OrderByHostList(std::vector<CheckResult>* results) {
    std::stable_sort(results->begin(), results->end(),
                     [](const CheckResult& a, const CheckResult& b) { return a.listRow < b.listRow; });
}

StatusSort ClickedSort(StatusSort current, int column) {
    StatusSort next;
    next.column = column;
    next.reversed = current.column == column && !current.reversed;
    return next;
}

std::vector<size_t> StatusRowOrder(const std::vector<CheckResult>& results,
                                   const std::vector<int64_t>& forecasts, StatusSort sort) {
    std::vector<size_t> order(results.size());
    for (size_t i = 0; i < order.size(); i++) {
        order[i] = i;
    }
    auto forecast = [&](size_t i) { return i < forecasts.size() ? forecasts[i] : FORECAST_NONE; };
    // Host-list order first, then the column's order; both sorts are stable.
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return results[a].listRow < results[b].listRow;
    });
    if (sort.column != STATUS_SORT_NONE) {
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            int c = CompareIn(sort.column, results[a], results[b], forecast(a), forecast(b));
            return sort.reversed ? c > 0 : c < 0;
        });
    }
    return order;
}

std::vector<int> FitColumnWidths(const std::vector<int>& contentWidths, size_t fill,
                                 int available) {
    std::vector<int> widths = contentWidths;
    if (fill >= widths.size()) {
        return widths;
    }
    int others = 0;
    for (size_t i = 0; i < widths.size(); i++) {
        others += i == fill ? 0 : widths[i];
    }
    widths[fill] = std::max(widths[fill], available - others);
    return widths;
}

const char* StatusEmptyText(bool cycleRan, unsigned cycleTargets, bool clientOn) {
    if (cycleRan) {
        return cycleTargets == 0 ? "監視対象がありません。設定でホストを登録してください。"
                                 : nullptr;
    }
    return clientOn ? "まだ問合せをしていません。最初の結果をお待ちください。"
                    : "クライアント機能がオフのため、問合せをしていません。";
}
