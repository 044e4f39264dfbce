// Folder growth between the real server, handed a fake source, and the real client: what
// the reply holds, what a server without scans answers, and which rows a cycle asks for.
#include <gtest/gtest.h>

#include <string>

#include "app/kiv.h"
#include "app/wall_clock.h"
#include "monitor/growth_text.h"
#include "net/disk_query.h"
#include "net/query_client.h"
#include "tests/support/app_fixture.h"
#include "tests/support/fake_growth.h"
#include "tests/support/message_sink.h"
#include "tests/support/test_support.h"

namespace {

const int64_t LATEST = 1800000000;

// When a row is asked again: never asked; an hour after an answer without a report; a day
// after the latest scan of a report, and an hour after the last asking.
TEST(GrowthCache, ARowIsAskedAtMostOncePerServerScan) {
    const int64_t hour = 3600;
    const int64_t day = 86400;
    struct Case {
        GrowthAnswer stored;  // GROWTH_FAILED with askedAgo < 0: never asked
        int64_t askedAgo;
        int64_t scanAgo;
        bool ask;
    };
    const Case cases[] = {
        {GROWTH_FAILED, -1, 0, true},
        {GROWTH_REPORTED, 2 * hour, day - 1, false},
        {GROWTH_REPORTED, 2 * hour, day, true},
        {GROWTH_REPORTED, hour - 1, 3 * day, false},
        {GROWTH_NOT_SERVED, hour - 1, 0, false},
        {GROWTH_NOT_SERVED, hour, 0, true},
        {GROWTH_NO_SCAN, hour, 0, true},
    };
    for (const Case& c : cases) {
        GrowthCache cache;
        GrowthReport report = SampleGrowthReport(LATEST - c.scanAgo);
        if (c.askedAgo >= 0) {
            EXPECT_TRUE(cache.Store("h", 1, "/", c.stored, report, LATEST - c.askedAgo));
        }
        EXPECT_EQ(c.ask, cache.ShouldAsk("h", 1, "/", LATEST)) << c.stored << " " << c.askedAgo;
        EXPECT_TRUE(cache.ShouldAsk("h", 2, "/", LATEST));  // another port is another server
    }
}

// The reply holds only what lies under the asked path; a server without a source closes
// as for an unknown request, one whose scans do not cover the path says so.
TEST(GrowthServer, SendsWhatLiesUnderThePathOrNothing) {
    FakeGrowthSource source(SampleGrowthReport(LATEST));
    {
        TestApp t;
        uint16_t port = t.StartServer(0, &source);
        ASSERT_NE(0, port);
        GrowthQuery growth = RunGrowthQuery("127.0.0.1", port, "/srv", 10000, nullptr);
        ASSERT_EQ(DISK_QUERY_OK, growth.query.outcome);
        EXPECT_EQ("/srv", source.LastPath());
        ASSERT_EQ(2u, growth.report.folders.size());
        EXPECT_EQ("/srv/video/2026", growth.report.folders[0].path);
        EXPECT_EQ("/srv/mail", growth.report.folders[1].path);
        EXPECT_EQ(1u, growth.report.files.size());
        EXPECT_EQ(LATEST - 86400, growth.report.dayBefore.time);
    }
    FakeGrowthSource uncovered(GrowthReport(), false);
    const struct {
        GrowthSource* source;
        GrowthAnswer answer;
    } cases[] = {{&uncovered, GROWTH_NO_SCAN}, {nullptr, GROWTH_NOT_SERVED}};
    for (const auto& c : cases) {
        TestApp t;
        uint16_t port = t.StartServer(0, c.source);
        ASSERT_NE(0, port);
        GrowthQuery growth = RunGrowthQuery("127.0.0.1", port, "/srv", 10000, nullptr);
        EXPECT_EQ(c.answer, AnswerOfGrowthQuery(growth.query));
    }
    EXPECT_EQ(1, uncovered.Asked());
}

// A row at caution or worse is asked once, and its report reaches the console's list, the
// balloon and the notification command; a row above its threshold is never asked; a server
// without scans leaves the grade as it is and is named in the list.
TEST(GrowthClient, ARowAtCautionIsAskedOnceAndItsFoldersAreShown) {
    TempDir disk;  // a path every system can measure, with the report's folders below it
    const std::string root = disk.Path();
    const char* path = root.c_str();
    FakeGrowthSource source(SampleGrowthReport(LATEST, root));
    SetTestUnixNow(LATEST + 600);
    std::vector<CheckResult> results;
    {
        TestApp t;
        MessageSink sink;
        uint16_t port = t.StartServer(0, &source);
        ASSERT_NE(0, port);
        CheckResult normal = RunQuery(&t, &sink, LocalTarget(port, path, 0, UNIT_PERCENT));
        EXPECT_EQ(STATUS_NORMAL, normal.status);
        EXPECT_EQ(0, source.Asked());
        for (int cycle = 0; cycle < 2; cycle++) {
            results = {RunQuery(&t, &sink, LocalTarget(port, path, 100, UNIT_PERCENT))};
        }
        EXPECT_EQ(1, source.Asked());
        ASSERT_GE(results[0].status, STATUS_CAUTION);
        std::string list = GrowthListText(results, t.app.m_folderGrowth, 0);
        std::string row = "127.0.0.1\t" + std::to_string(port) + "\t";
        EXPECT_EQ(0u, list.find("127.0.0.1 (" + std::to_string(port) + ") " + root + ":\n"))
            << list;
        EXPECT_NE(std::string::npos,
                  list.find("  " + root + "/srv/video/2026\t50.0 GB\t+100.0 MB\t+1.0 GB\n"))
            << list;
        EXPECT_EQ(root + "/srv/video/2026 が7日間で1.0 GB増えました",
                  GrowthBalloonLine(results, t.app.m_folderGrowth));
        MEnvironment variables = GrowthEnvironment(results, t.app.m_folderGrowth);
        ASSERT_EQ(3u, variables.size());
        EXPECT_EQ("FSW_GROWTH1", variables[0].first);
        EXPECT_EQ(row + root + "/srv/video/2026\t53687091200\t104857600\t1073741824",
                  variables[0].second);
        EXPECT_EQ(0u, variables[1].second.find(row + root + "/srv/mail\t"));
        GrowthEntry entry;
        ASSERT_TRUE(t.app.m_folderGrowth.Find("127.0.0.1", port, path, &entry));
        std::vector<std::vector<std::string>> table = GrowthTableRows(entry, 0);
        EXPECT_EQ(std::vector<std::string>{"増えたフォルダ (7日間)"}, table.at(0));
        EXPECT_EQ((std::vector<std::string>{root + "/srv/video/2026", "50.0 GB", "+100.0 MB",
                                            "+1.0 GB"}),
                  table.at(3));
    }
    TestApp t;
    MessageSink sink;
    uint16_t port = t.StartServer(0, nullptr);
    CheckResult withoutScans = RunQuery(&t, &sink, LocalTarget(port, path, 100, UNIT_PERCENT));
    EXPECT_EQ(results[0].status, withoutScans.status);
    EXPECT_EQ(REASON_NONE, withoutScans.reason);
    EXPECT_EQ("127.0.0.1 (" + std::to_string(port) + ") " + root +
                  ": このサーバはフォルダの増加を報告しません\n",
              GrowthListText({withoutScans}, t.app.m_folderGrowth, 0));
    EXPECT_EQ("", GrowthBalloonLine({withoutScans}, t.app.m_folderGrowth));
    SetTestUnixNow(0);
}

}  // namespace
