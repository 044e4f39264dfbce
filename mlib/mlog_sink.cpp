// The log's one-line writer.
#include "mlib/mlog_sink.h"

#include <cstdarg>
#include <vector>

#include "mlib/msys.h"

int MLogSink::Write(const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    int length = MVFormat(text, sizeof text, format, arguments);
    va_end(arguments);
    std::string message;
    if (length < 0) {
        text[sizeof text - 1] = '\0';
        message = text;  // a formatting error: what it made
    } else if (static_cast<size_t>(length) < sizeof text) {
        message.assign(text, static_cast<size_t>(length));
    } else {
        std::vector<char> whole(static_cast<size_t>(length) + 1);
        MVFormat(whole.data(), whole.size(), format, again);
        message.assign(whole.data(), static_cast<size_t>(length));
    }
    va_end(again);
    return WriteLine(message);
}

namespace {

class NoLog : public MLogSink {
public:
    int WriteLine(const std::string&) override { return 0; }
};

}  // namespace

MLogSink& MNoLog() {
    static NoLog log;
    return log;
}
