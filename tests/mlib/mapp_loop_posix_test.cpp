// The console message loop of the application base class: an exception of a handler
// is reported and the application ends in order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mlib/mapp.h"
#include "tests/support/test_support.h"

namespace {

const unsigned WM_TEST_FAIL = WM_APP + 9;

// The loop window, as the console front end is: WM_CLOSE ends the loop.
class ClosingTarget : public MMessageTarget {
public:
    intptr_t HandleMessage(unsigned message, uintptr_t, intptr_t) override {
        if (message == WM_TEST_FAIL) {
            throw "ハンドラの例外";
        }
        if (message == WM_CLOSE) {
            closed = true;
            MPostQuitMessage(0);
        }
        return 0;
    }
    bool closed = false;
};

class FailingApp : public MApp {
public:
    FailingApp() : MApp(nullptr, nullptr, 0) {}
    ~FailingApp() override { MForgetWindow(&target); }
    int Init() override {
        MPostMessage(&target, WM_TEST_FAIL, 0, 0);
        return MessageLoop(&target);
    }
    ClosingTarget target;
};

TEST(ConsoleLoopException, IsReportedAndEndsTheApplicationInOrderWithExitCode2) {
    TempDir dir;
    MessageBoxRecorder boxes;
    FailingApp app;
    ASSERT_TRUE(app.OpenLog(dir.File("fsw.log").c_str(), LOG_OVERWRITE));
    EXPECT_EQ(2, app.Run());
    EXPECT_TRUE(app.target.closed);
    std::vector<std::string> log = LogFileMessages(dir.File("fsw.log"));
    EXPECT_EQ(
        (std::vector<std::string>{"<<例外>> ハンドラの例外", "例外が発生したため終了します。"}),
        log);
    ASSERT_EQ(1u, boxes.Boxes().size());
    EXPECT_EQ("例外発生", boxes.Boxes()[0].caption);
}

}  // namespace
