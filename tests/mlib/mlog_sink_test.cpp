// The log's one-line writer: what Write hands on, short and longer than its own buffer.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "mlib/mlog_sink.h"

namespace {

class FakeLog : public MLogSink {
public:
    int WriteLine(const std::string& message) override {
        lines.push_back(message);
        return 7;
    }
    std::vector<std::string> lines;
};

TEST(MLogSink, WriteFormatsTheWholeTextIntoOneLine) {
    FakeLog log;
    std::string longPath(3000, 'p');
    EXPECT_EQ(7, log.Write("容量 %u (File=%s)", 42u, "C:\\fsw"));
    EXPECT_EQ(7, log.Write("%s|%I64u", longPath.c_str(), uint64_t{1} << 40));
    EXPECT_EQ(7, log.Write("%s", ""));
    ASSERT_EQ(3u, log.lines.size());
    EXPECT_EQ("容量 42 (File=C:\\fsw)", log.lines[0]);
    EXPECT_EQ(longPath + "|1099511627776", log.lines[1]);
    EXPECT_EQ("", log.lines[2]);
}

}  // namespace
