// The order of the status list's rows and the widths of its columns: plain logic over the
// results, so that both are tested without a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "net/check_result.h"

// The results in host-list order: by the row each comes from, the volumes of a "*" row in
// the order the server listed them (a stable sort, so results of one row keep theirs).
void OrderByHostList(std::vector<CheckResult>* results);

// How the list is sorted: by a column of the status list (0 to 7, as STATUS_COLUMN_TITLES),
// or, with column STATUS_SORT_NONE, in host-list order.
const int STATUS_SORT_NONE = -1;
struct StatusSort {
    int column;
    bool reversed;  // the second click on the same header
};
// The sort after a click on a column's header: that column, reversed when it was already the
// sorted one and not reversed.
StatusSort ClickedSort(StatusSort current, int column);

// The order in which the results are shown, as indexes into results (forecasts[i] is the
// forecast of results[i], seconds until full or FORECAST_NONE). Each column sorts its own
// way first: the status worst first (danger, then error, warning, caution, normal: a disk
// that is filling up is worse than one that cannot be asked); the time oldest first; host,
// path and description as text, letters in either case alike; the threshold and the free
// space smallest first, per cent before bytes, errors after every value; the forecast
// soonest first, rows without one last. Reversed turns that order round. Rows that are
// equal for the column stay in host-list order either way.
std::vector<size_t> StatusRowOrder(const std::vector<CheckResult>& results,
                                   const std::vector<int64_t>& forecasts, StatusSort sort);

// The widths of columns that fit their content: each column its own width (the widest of
// its title and cells, measured by the caller with the window's font), and column fill
// widened to what is left of available, never narrower than its own width.
std::vector<int> FitColumnWidths(const std::vector<int>& contentWidths, size_t fill,
                                 int available);

// Why the status list is empty, in the program's words; nullptr when a cycle listed rows
// or none of the reasons holds. A cycle that ran over no target says so; before the first
// cycle, whether the client role is off or the first cycle is still to come.
const char* StatusEmptyText(bool cycleRan, unsigned cycleTargets, bool clientOn);
