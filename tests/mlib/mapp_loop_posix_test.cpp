// The console message loop of the application base class: an exception of a handler
// is reported and the application ends in order.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "mlib/mapp.h"
#include "mlib/msys_posix.h"
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

// Records the signals' messages in the order they come; the stop's ends the loop.
class SignalRecorder : public MMessageTarget {
public:
    intptr_t HandleMessage(unsigned message, uintptr_t, intptr_t) override {
        order += static_cast<char>('0' + message - WM_APP);
        if (message == WM_APP + 2) {
            MPostQuitMessage(0);
        }
        return 0;
    }
    std::string order;
};

// Signals that come during the start, before a window takes them, are not lost: the stop
// comes first, then one of each other kind. Signals are the process's, so a child of the
// test runs it and answers by its exit code.
TEST(SignalsDuringTheStart, AreHeldUntilAWindowTakesThemWithTheStopFirst) {
    pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        if (!MBlockSignals() || !MStartSignalThread()) {
            _exit(10);
        }
        for (int signal : {SIGUSR2, SIGHUP, SIGUSR2, SIGTERM}) {
            kill(getpid(), signal);
            usleep(50000);  // the signal thread takes each before the next
        }
        SignalRecorder recorder;
        MCatchSignals(&recorder, MSignalMessages{WM_APP + 1, WM_APP + 2, WM_APP + 3,
                                                 WM_APP + 4, WM_APP + 5});
        alarm(10);  // a lost stop ends the child by SIGALRM rather than hanging the test
        MRunMessageLoop();
        MCatchSignals(nullptr, MSignalMessages{});
        _exit(recorder.order == "253" ? 0 : 11);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(0, WEXITSTATUS(status)) << "10: no signal thread; 11: wrong order or lost";
}
