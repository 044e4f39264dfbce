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
// The journal's priority prefix of the lines of a cycle: "<3>" (error) for a cycle of level
// 2 or more with errors, "<4>" (warning) for one without, "" below level 2.
const char* JournalPriority(unsigned level, unsigned errors);
// Each line of text with the prefix in front.
std::string PrefixLines(const std::string& text, const char* prefix);
// "title: text" and a line feed, the balloon's line break written as a space. Control
// characters of the texts print as spaces in both, so each line stays one line.
std::string BalloonLine(const char* text, const char* title);
