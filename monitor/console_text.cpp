// The console's texts of a cycle.
#include "monitor/console_text.h"

#include "app/history.h"
#include "monitor/status_text.h"

std::string StatusListText(const std::vector<CheckResult>& results, const CheckHistory* history) {
    std::string text;
    for (int column = 0; column < STATUS_COLUMN_COUNT; column++) {
        text += column > 0 ? "\t" : "";
        text += STATUS_COLUMN_TITLES[column];
    }
    text += '\n';
    for (const CheckResult& result : results) {
        if (!IsListed(result)) {
            continue;
        }
        StatusRowTexts row;
        MakeStatusRowTexts(result, history != nullptr ? history->ForecastOf(result) : FORECAST_NONE,
                           &row);
        const char* cells[STATUS_COLUMN_COUNT] = {row.status,      row.time,      row.host,
                                                  row.path,        row.threshold, row.freeSpace,
                                                  row.description, row.forecast};
        for (int column = 0; column < STATUS_COLUMN_COUNT; column++) {
            text += column > 0 ? "\t" : "";
            text += cells[column];
        }
        text += '\n';
    }
    return text;
}

std::string BalloonLine(const char* text, const char* title) {
    std::string line = std::string(title) + ": ";
    for (const char* p = text; *p != '\0'; p++) {
        if (p[0] == '\r' && p[1] == '\n') {
            line += ' ';
            p++;
        } else {
            line += *p;
        }
    }
    line += '\n';
    return line;
}
