// The thread wrapper: one thread per object at a time, restartable once it has ended.
#include <gtest/gtest.h>

#include <atomic>

#include "mlib/mthread.h"
#include "tests/support/test_support.h"

namespace {

std::atomic<bool> g_release{false};
std::atomic<int> g_runs{0};

unsigned M_THREAD_CALL WaitForRelease(void*) {
    g_runs++;
    while (!g_release) {
        MSleep(5);
    }
    return 0;
}

TEST(MThread, StartFailsWhileItsThreadRunsAndStartsANewOneAfterItEnded) {
    g_release = false;
    g_runs = 0;
    MThread thread;
    EXPECT_FALSE(thread.HasHandle());
    ASSERT_TRUE(thread.Start(WaitForRelease));
    ASSERT_TRUE(WaitUntil([] { return g_runs == 1; }, 5000));
    EXPECT_TRUE(thread.IsRunning());

    EXPECT_FALSE(thread.Start(WaitForRelease)) << "the first thread still runs";
    EXPECT_FALSE(thread.Start(nullptr));
    MSleep(50);
    EXPECT_EQ(1, g_runs.load()) << "nothing else was started";

    g_release = true;
    ASSERT_TRUE(WaitUntil([&] { return !thread.IsRunning(); }, 5000));
    // Without the owner having waited or closed, a new start is allowed; a null
    // procedure means the stored one.
    g_release = false;
    ASSERT_TRUE(thread.Start(nullptr));
    ASSERT_TRUE(WaitUntil([] { return g_runs == 2; }, 5000));
    g_release = true;
    EXPECT_TRUE(thread.Wait());
    thread.CloseHandle();
    EXPECT_FALSE(thread.HasHandle());
}

TEST(MThread, StartWithoutAnyProcedureStartsNothing) {
    MThread thread;
    EXPECT_FALSE(thread.Start(nullptr));
    EXPECT_FALSE(thread.HasHandle());
}

}  // namespace
