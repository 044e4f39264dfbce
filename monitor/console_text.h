// What the console prints of a cycle: the status list as tab-separated lines and the
// balloon as one line. Shared by the console front end and the one-shot run.
#pragma once

#include <string>
#include <vector>

#include "net/check_result.h"

class CheckHistory;

// The line of column titles, then one line per listed result, cells separated by tabs; the
// forecasts come from history ("-" for every row without one).
std::string StatusListText(const std::vector<CheckResult>& results, const CheckHistory* history);
// "title: text" and a line feed, the balloon's line break written as a space. Control
// characters of the texts print as spaces in both, so each line stays one line.
std::string BalloonLine(const char* text, const char* title);
