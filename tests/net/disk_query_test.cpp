// One bounded disk query against peers that stall it: a trickled reply, a silent
// server, a name that never resolves, a connect nobody answers; the time limit ends
// each, and so does the stop signal, within the bound the stop promises.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "mlib/mresolve.h"
#include "mlib/msocket.h"
#include "net/disk_query.h"
#include "tests/support/fake_peer.h"
#include "tests/support/test_support.h"

namespace {

const std::string GOOD_REPLY = WireHeader(1825, 2, 0, 256, 16) + Be64(5) + Be64(9);

// A peer that stalls the query, ready for one connection.
enum Stall { TRICKLE, SILENT, NO_NAME, NO_CONNECT };

// The network layer, up before the peers below are made and down after they are gone.
struct Network {
    Network() { EXPECT_EQ(0, MStartupNetwork()); }
    ~Network() { MCleanupNetwork(); }
};

class DiskQueryTest : public ::testing::Test {
protected:
    // The query against the stalling peer; the server's end is closed by the query's.
    DiskQueryResult QueryStalled(Stall stall, unsigned limitMs, QueryCancel* cancel) {
        switch (stall) {
            case TRICKLE:  // 28 bytes, 300 ms apart: whole after 8 s
                server.Serve(13, GOOD_REPLY, 0, 300);
                return RunDiskQuery("127.0.0.1", server.Port(), "/", limitMs, cancel);
            case SILENT:
                server.Serve(13, "", 30000);
                return RunDiskQuery("127.0.0.1", server.Port(), "/", limitMs, cancel);
            case NO_NAME:
                return RunDiskQuery("never-answers.test", server.Port(), "/", limitMs, cancel);
            default:
                return RunDiskQuery("127.0.0.1", blackHole.Port(), "/", limitMs, cancel);
        }
    }

    Network network;
    FakeServer server;
    BlackHoleServer blackHole;
    HungResolver hung;  // every lookup of this test hangs
};

const struct StallCase {
    Stall stall;
    const char* what;
    DiskQueryStage stage;
} STALLS[] = {
    {TRICKLE, "trickled reply", DISK_QUERY_READING_HEADER},
    {SILENT, "silent server", DISK_QUERY_READING_HEADER},
    {NO_NAME, "name that never resolves", DISK_QUERY_CONNECTING},
    {NO_CONNECT, "connect nobody answers", DISK_QUERY_CONNECTING},
};

TEST_F(DiskQueryTest, TheTimeLimitEndsEveryStall) {
    for (const StallCase& c : STALLS) {
        DiskQueryResult result = QueryStalled(c.stall, 1000, nullptr);
        EXPECT_EQ(DISK_QUERY_TIMED_OUT, result.outcome) << c.what;
        EXPECT_EQ(c.stage, result.stage) << c.what;
        server.Received();
    }
}

// The stop comes from another thread while the query waits; it ends within 1 s.
TEST_F(DiskQueryTest, TheStopEndsEveryStallAtOnce) {
    for (const StallCase& c : STALLS) {
        QueryCancel cancel;
        std::thread stopper([&] {
            MSleep(300);
            cancel.Cancel();
        });
        auto start = std::chrono::steady_clock::now();
        DiskQueryResult result = QueryStalled(c.stall, 20000, &cancel);
        auto took = std::chrono::steady_clock::now() - start;
        stopper.join();
        EXPECT_EQ(DISK_QUERY_CANCELLED, result.outcome) << c.what;
        EXPECT_EQ(c.stage, result.stage) << c.what;
        EXPECT_LT(took, std::chrono::milliseconds(300 + 1000)) << c.what;
        server.Received();
    }
}

TEST_F(DiskQueryTest, AfterTheStopAQueryDoesNotEvenConnect) {
    QueryCancel cancel;
    cancel.Cancel();
    server.Serve(13, GOOD_REPLY);
    DiskQueryResult result = RunDiskQuery("127.0.0.1", server.Port(), "/", 5000, &cancel);
    EXPECT_EQ(DISK_QUERY_CANCELLED, result.outcome);
    EXPECT_EQ(DISK_QUERY_CONNECTING, result.stage);
    FswSocket probe;  // the server takes this connection as the first it sees
    ASSERT_TRUE(ConnectLocal(&probe, server.Port()));
    ASSERT_EQ(1, probe.SendAll("x", 1));
    probe.Close();
    EXPECT_EQ("x", server.Received());
}

// The abandoned lookup answers long after the query has gone; its thread must find its
// state still there (the sanitizer builds catch a use after free) and end.
TEST_F(DiskQueryTest, AnAbandonedLookupEndsByItselfOnceTheSystemAnswers) {
    DiskQueryResult result = QueryStalled(NO_NAME, 200, nullptr);
    EXPECT_EQ(DISK_QUERY_TIMED_OUT, result.outcome);
    EXPECT_EQ(1, MRunningLookups());
    EXPECT_TRUE(hung.Release(5000));
    EXPECT_EQ(0, MRunningLookups());
}

TEST(DiskQueryLookups, AResolverThatNeverAnswersCannotPileUpThreads) {
    HungResolver hung;
    int outcomes[4] = {};
    std::chrono::steady_clock::time_point past = std::chrono::steady_clock::now();
    for (int i = 0; i < M_MAX_RUNNING_LOOKUPS + 3; i++) {
        MResolved found;
        outcomes[MResolveHostBefore("never-answers.test", M_FAMILY_ANY, &found, past, nullptr)]++;
    }
    EXPECT_EQ(M_MAX_RUNNING_LOOKUPS, outcomes[M_RESOLVE_TIMED_OUT]);
    EXPECT_EQ(3, outcomes[M_RESOLVE_FAILED]);
    EXPECT_TRUE(hung.Release(10000));
}

// Paths whose turn comes after the deadline are not asked at all; with no thread to
// spare the calling thread asks itself.
TEST(DiskQueries, LatePathsAreTimedOutUnaskedAndNoThreadMeansTheCaller) {
    Network network;
    FakeServer server;
    auto past = std::chrono::steady_clock::now() - std::chrono::milliseconds(1);
    std::vector<DiskQueryResult> late =
        RunDiskQueries("127.0.0.1", server.Port(), {"/a", "/b", "/c"}, past, 2);
    ASSERT_EQ(3u, late.size());
    for (const DiskQueryResult& result : late) {
        EXPECT_EQ(DISK_QUERY_TIMED_OUT, result.outcome);
        EXPECT_EQ(DISK_QUERY_CONNECTING, result.stage);
    }
    EXPECT_FALSE(server.Accepted());

    server.Serve(13, GOOD_REPLY);
    auto soon = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::vector<DiskQueryResult> own = RunDiskQueries("127.0.0.1", server.Port(), {"/"}, soon, 0);
    ASSERT_EQ(1u, own.size());
    EXPECT_EQ(DISK_QUERY_OK, own[0].outcome);
    EXPECT_EQ(9u, own[0].totalBytes);
    EXPECT_EQ(DiskRequest("/"), server.Received());
}

}  // namespace
