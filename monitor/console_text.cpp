// The console's texts of a cycle.
#include "monitor/console_text.h"

#include "app/history.h"
#include "monitor/status_text.h"

namespace {

// A text as one line for a terminal or the journal: the balloon's CR LF becomes a space,
// and so does every control character (C0, DEL and the C1 range of UTF-8), so that no
// text from the host list breaks a line or sends a terminal a control sequence.
std::string Printable(const char* text) {
    std::string line;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; p++) {
        if ((p[0] == '\r' && p[1] == '\n') || (p[0] == 0xC2 && p[1] >= 0x80 && p[1] <= 0x9F)) {
            line += ' ';
            p++;
        } else if (p[0] < 0x20 || p[0] == 0x7F) {
            line += ' ';
        } else {
            line += static_cast<char>(p[0]);
        }
    }
    return line;
}

}  // namespace

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
                           &row, history != nullptr && history->ForecastIsOfBursts(result));
        const char* cells[STATUS_COLUMN_COUNT] = {row.status,      row.time,      row.host,
                                                  row.path,        row.threshold, row.freeSpace,
                                                  row.description, row.forecast};
        for (int column = 0; column < STATUS_COLUMN_COUNT; column++) {
            text += column > 0 ? "\t" : "";
            text += Printable(cells[column]);
        }
        text += '\n';
    }
    return text;
}

std::string BalloonLine(const char* text, const char* title) {
    return Printable(title) + ": " + Printable(text) + "\n";
}

const char* JournalPriority(unsigned level, unsigned errors) {
    if (level < 2) {
        return "";
    }
    return errors > 0 ? "<3>" : "<4>";
}

std::string PrefixLines(const std::string& text, const char* prefix) {
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        out += prefix;
        out.append(text, start, end - start);
        start = end;
    }
    return out;
}
