// The Windows program's server and paths from the network: UNC, device and relative
// forms are answered 512 without being touched, unless ALLOWUNC=1.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/server.h"
#include "tests/support/app_fixture.h"
#include "tests/support/fake_peer.h"
#include "tests/support/test_support.h"

namespace {

TEST(ServerPaths, UncDeviceAndRelativePathsAreAnswered512WithoutBeingTouched) {
    TestApp t;
    uint16_t port = t.StartServer();
    ASSERT_NE(0, port);
    const std::string refused[] = {"\\\\127.0.0.1\\share",
                                   "\\\\?\\C:\\",
                                   "\\\\.\\COM1",
                                   "C:",
                                   "data",
                                   "Q:\\data"};  // a drive letter with no drive behind it
    for (const std::string& path : refused) {
        t.RestartLog();
        MeasureRecorder measured;
        EXPECT_EQ(WireHeader(1825, 2, 0, 512, 0), AskFrom(port, "127.0.0.1", DiskRequest(path)));
        EXPECT_EQ(
            std::vector<std::string>{"許可されていない形式のパスです。path=" + LoggedPath(path)},
            t.LogMessages());
        EXPECT_EQ(0, measured.Count()) << path;
    }
    t.app.m_allowUnc = 1;
    MeasureRecorder measured;
    EXPECT_EQ(28u, AskFrom(port, "127.0.0.1", DiskRequest("\\\\?\\C:\\")).size());
    EXPECT_EQ(1, measured.Count()) << "measured with ALLOWUNC=1";
}

}  // namespace
