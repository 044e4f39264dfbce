// HTTP on the server's port: the request reader on its own, table-driven with the hostile
// requests, and the real server answering them on 127.0.0.1 with a page source of its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mlib/msocket.h"
#include "net/http_request.h"
#include "net/http_server.h"
#include "net/protocol.h"
#include "net/server.h"
#include "tests/support/app_fixture.h"
#include "tests/support/fake_peer.h"

namespace {

// A literal with its NULs.
template <size_t N>
std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

const std::string GOOD = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

struct ParseRow {
    const char* name;
    std::string bytes;
    HttpParse parse;
    int status;
    const char* target;
};

TEST(HttpRequest, TheReaderTakesWhatBrowsersSendAndRefusesHostileHeads) {
    const std::vector<ParseRow> rows = {
        {"a browser's GET", GOOD, HTTP_PARSED, 0, "/"},
        {"a HEAD", "HEAD /metrics HTTP/1.1\r\nHost: a\r\nAccept: */*\r\n\r\n", HTTP_PARSED, 0,
         "/metrics"},
        {"HTTP/1.0 needs no Host", "GET /status.json HTTP/1.0\r\n\r\n", HTTP_PARSED, 0,
         "/status.json"},
        {"the query is no part of the path", "GET /?a=1 HTTP/1.1\r\nHost: a\r\n\r\n", HTTP_PARSED,
         0, "/"},
        {"a POST", "POST / HTTP/1.1\r\nHost: a\r\n\r\n", HTTP_PARSED, 405, "/"},
        {"a bare LF", "GET / HTTP/1.1\nHost: a\n\n", HTTP_PARSED, 400, ""},
        {"a bare CR", "GET / HTTP/1.1\rHost: a\r\n\r\n", HTTP_PARSED, 400, ""},
        {"a NUL", Bytes("GET /\0 HTTP/1.1\r\nHost: a\r\n\r\n"), HTTP_PARSED, 400, ""},
        {"no Host in HTTP/1.1", "GET / HTTP/1.1\r\nAccept: */*\r\n\r\n", HTTP_PARSED, 400, "/"},
        {"two Hosts", "GET / HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n", HTTP_PARSED, 400, "/"},
        {"a body", "GET / HTTP/1.1\r\nHost: a\r\nContent-Length: 5\r\n\r\nhello", HTTP_PARSED, 400,
         "/"},
        {"a chunked body", "GET / HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n",
         HTTP_PARSED, 400, "/"},
        {"a folded header", "GET / HTTP/1.1\r\nHost: a\r\n b\r\n\r\n", HTTP_PARSED, 400, "/"},
        {"pipelined requests: the first", GOOD + "GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n",
         HTTP_PARSED, 0, "/"},
        {"a path with ..", "GET /../etc/passwd HTTP/1.1\r\nHost: a\r\n\r\n", HTTP_PARSED, 0,
         "/../etc/passwd"},
        {"percent escapes", "GET /%2e%2e/%00 HTTP/1.1\r\nHost: a\r\n\r\n", HTTP_PARSED, 0,
         "/%2e%2e/%00"},
        {"an absolute target", "GET http://a/ HTTP/1.1\r\nHost: a\r\n\r\n", HTTP_PARSED, 400, ""},
        {"two spaces", "GET  / HTTP/1.1\r\nHost: a\r\n\r\n", HTTP_PARSED, 400, ""},
        {"HTTP/2.0", "GET / HTTP/2.0\r\nHost: a\r\n\r\n", HTTP_PARSED, 505, "/"},
        {"a head not ended yet", "GET / HTTP/1.1\r\nHost: a\r\n", HTTP_INCOMPLETE, 0, ""},
        {"an over-long line", "GET /" + std::string(MAX_HTTP_HEAD, 'a'), HTTP_PARSED, 431, ""},
        {"a head of exactly the bound",
         "GET / HTTP/1.1\r\nHost: a\r\nX: " + std::string(MAX_HTTP_HEAD - 32, 'b') + "\r\n\r\n",
         HTTP_PARSED, 0, "/"},
        {"one byte over the bound",
         "GET / HTTP/1.1\r\nHost: a\r\nX: " + std::string(MAX_HTTP_HEAD - 31, 'b') + "\r\n\r\n",
         HTTP_PARSED, 431, ""},
    };
    for (const ParseRow& row : rows) {
        HttpRequest request;
        EXPECT_EQ(row.parse, ParseHttpRequest(row.bytes.data(), row.bytes.size(), &request))
            << row.name;
        EXPECT_EQ(row.status, request.status) << row.name;
        EXPECT_EQ(row.target, request.target) << row.name;
    }
}

TEST(HttpRequest, OnlyKnownMethodsAreSniffedNeverTheDiskQueryMagic) {
    EXPECT_TRUE(LooksLikeHttp("GET / HTTP/1.1", 14));
    EXPECT_TRUE(LooksLikeHttp("HEAD / HTTP", 11));
    EXPECT_TRUE(LooksLikeHttp("POST / HTTP", 11));
    std::string query = DiskRequest("/", 2);
    EXPECT_FALSE(LooksLikeHttp(query.data(), query.size()));
    EXPECT_FALSE(LooksLikeHttp("GET", 3));
    EXPECT_FALSE(LooksLikeHttp("GETX / HTTP", 11));
}

// Pages that echo nothing of the request: "/" and "/metrics".
class FixedPages : public WebPages {
public:
    bool PageAt(const std::string& path, WebPage* page) override {
        if (path != "/" && path != "/metrics") {
            return false;
        }
        *page = WebPage{"text/plain; charset=utf-8", "page " + path + "\n"};
        return true;
    }
};

class HttpServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetWebPages(&pages);
        t.app.m_web = 1;
        port = t.StartServer();
        ASSERT_NE(0, port);
        t.RestartLog();
    }
    void TearDown() override {
        if (t.ServerRunning()) {
            t.StopServer();
        }
        SetWebPages(nullptr);
    }
    std::string Ask(const std::string& request) { return AskAt("127.0.0.1", port, request); }

    FixedPages pages;
    TestApp t;
    uint16_t port = 0;
};

struct AnswerRow {
    const char* name;
    std::string request;
    std::string statusLine;  // "" for a connection closed without an answer
    std::string body;        // the answer ends so
    std::string logLine;     // the request's one line, without the peer
};

TEST_F(HttpServerTest, EachRequestGetsOneAnswerWithTheSafetyHeadersAndOneLogLine) {
    const std::vector<AnswerRow> rows = {
        {"the status page", GOOD, "HTTP/1.1 200 OK", "\r\n\r\npage /\n", "HTTP GET / : 200"},
        {"a HEAD: no body", "HEAD /metrics HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 200 OK",
         "\r\n\r\n", "HTTP HEAD /metrics : 200"},
        {"an unknown path", "GET /fsw.ini HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 404 Not Found",
         "404 Not Found\n", "HTTP GET /fsw.ini : 404"},
        {"a path with ..", "GET /../metrics HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 404 Not Found",
         "404 Not Found\n", "HTTP GET /../metrics : 404"},
        {"a POST", "POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 2\r\n\r\nab",
         "HTTP/1.1 405 Method Not Allowed", "405 Method Not Allowed\n", "HTTP POST / : 405"},
        {"a bare LF", "GET / HTTP/1.1\nHost: a\n\n", "HTTP/1.1 400 Bad Request", "",
         "HTTP - - : 400"},
        {"a NUL", Bytes("GET / HTTP/1.1\r\nHost: \0\r\n\r\n"), "HTTP/1.1 400 Bad Request", "",
         "HTTP - - : 400"},
        {"a body", "GET / HTTP/1.1\r\nHost: a\r\nContent-Length: 3\r\n\r\nabc",
         "HTTP/1.1 400 Bad Request", "", "HTTP GET / : 400"},
        {"pipelined: only the first", GOOD + "GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n",
         "HTTP/1.1 200 OK", "\r\n\r\npage /\n", "HTTP GET / : 200"},
        {"an over-long line", "GET /" + std::string(9000, 'x'),
         "HTTP/1.1 431 Request Header Fields Too Large", "",
         "HTTP の要求ヘッダが大きすぎます : 431"},
        {"the disk query still", DiskRequest(t.dir.Path(), 2), "", "", ""},
    };
    for (const AnswerRow& row : rows) {
        t.RestartLog();
        std::string answer = Ask(row.request);
        if (row.statusLine.empty()) {
            EXPECT_EQ(WireHeader(1825, 2, 0, 256, 16), answer.substr(0, 12)) << row.name;
            continue;
        }
        EXPECT_EQ(row.statusLine + "\r\n", answer.substr(0, row.statusLine.size() + 2)) << row.name;
        for (const char* header :
             {"\r\nContent-Security-Policy: default-src 'none'; style-src 'unsafe-inline'; "
              "img-src data:\r\n",
              "\r\nX-Content-Type-Options: nosniff\r\n", "\r\nCache-Control: no-store\r\n",
              "\r\nConnection: close\r\n"}) {
            EXPECT_NE(std::string::npos, answer.find(header)) << row.name << ": " << header;
        }
        EXPECT_EQ(std::string::npos, answer.find("Set-Cookie")) << row.name;
        EXPECT_EQ(row.body, answer.substr(answer.size() - std::min(answer.size(), row.body.size())))
            << row.name;
        EXPECT_EQ(std::vector<std::string>{row.logLine + " (127.0.0.1)"}, t.LogMessages())
            << row.name;
    }
}

TEST_F(HttpServerTest, ASlowSenderGets408WebOffClosesUnansweredAndTheStopEndsAWait) {
    FswSocket slow;
    ASSERT_TRUE(ConnectLocal(&slow, port));
    MSetSocketTimeouts(slow.handle, 30000);
    std::string start = "GET / HTTP/1.1\r\nHost: a\r\n";
    slow.SendAll(start.data(), static_cast<int>(start.size()));
    for (int i = 0; i < 14; i++) {  // one header byte every 400 ms: past the 5 s time-out
        if (MSend(slow.handle, "X", 1) != 1) {
            break;
        }
        MSleep(400);
    }
    std::string answer = ReadUntilClosed(&slow);
    EXPECT_EQ("HTTP/1.1 408 Request Timeout\r\n", answer.substr(0, 30)) << answer;
    EXPECT_EQ(1u, t.LogCount("HTTP の要求が時間内に届きません : 408 (127.0.0.1)"));

    t.app.m_web = 0;
    EXPECT_EQ("", Ask(GOOD));

    // The stop ends a head still coming at once: no 408 after the time-out.
    t.app.m_web = 1;
    FswSocket waiting;
    ASSERT_TRUE(ConnectLocal(&waiting, port));
    MSetSocketTimeouts(waiting.handle, 30000);
    waiting.SendAll(start.data(), static_cast<int>(start.size()));
    MSleep(300);
    t.StopServer();
    EXPECT_EQ("", ReadUntilClosed(&waiting));
    EXPECT_EQ(1u, t.LogCount("HTTP の要求を受信できませんでした (127.0.0.1)"));
}

}  // namespace
