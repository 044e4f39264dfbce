// One HTTP conversation on the server's port.
#include "net/http_server.h"

#include <algorithm>
#include <chrono>

#include "mlib/mlogtext.h"
#include "net/http_request.h"

namespace {

// How long the answer's end waits for what the client still sends (a body, a pipelined
// request), so that closing with unread bytes does not reset the answer away.
const unsigned LINGER_MS = 1000;
const int LINGER_MOST_BYTES = 65536;
// The most of a target the log line shows.
const size_t LOGGED_TARGET_BYTES = 200;

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 431:
            return "Request Header Fields Too Large";
        case 505:
            return "HTTP Version Not Supported";
        default:
            return "Error";
    }
}

WebPage ErrorPage(int status) {
    return WebPage{"text/plain; charset=utf-8",
                   std::to_string(status) + " " + Reason(status) + "\n"};
}

// A text of the request for the log line, "-" when it could not be read.
std::string Logged(const std::string& text) {
    if (text.empty()) {
        return "-";
    }
    if (text.size() <= LOGGED_TARGET_BYTES) {
        return MEscapeForLog(text);
    }
    return MEscapeForLog(text.substr(0, LOGGED_TARGET_BYTES)) + "...";
}

// Reads what the client still sends, for a moment, before the connection is closed.
void Linger(FswSocket* connection) {
    MShutdown(connection->handle, M_SD_SEND);
    SocketDeadline until = std::chrono::steady_clock::now() + std::chrono::milliseconds(LINGER_MS);
    char discard[4096];
    for (int total = 0; total < LINGER_MOST_BYTES;) {
        int got = connection->RecvAtLeastBefore(discard, 1, sizeof discard, until);
        if (got <= 0) {
            return;
        }
        total += got;
    }
}

}  // namespace

std::string HttpAnswer(int status, const WebPage& page, bool head) {
    std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
    answer += "Content-Type: " + page.contentType + "\r\n";
    answer += "Content-Length: " + std::to_string(page.body.size()) + "\r\n";
    if (status == 405) {
        answer += "Allow: GET, HEAD\r\n";
    }
    answer +=
        "Connection: close\r\n"
        "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'; img-src data:\r\n"
        "X-Content-Type-Options: nosniff\r\n"
        "Cache-Control: no-store\r\n"
        "\r\n";
    if (!head) {
        answer += page.body;
    }
    return answer;
}

void ServeHttp(FswSocket* connection, const std::string& received, SocketDeadline deadline,
               WebPages* pages, MLogSink& log, const std::string& peer) {
    std::string head = received;
    HttpRequest request;
    while (ParseHttpRequest(head.data(), head.size(), &request) == HTTP_INCOMPLETE) {
        char chunk[2048];
        int room = static_cast<int>(std::min(sizeof chunk, MAX_HTTP_HEAD - head.size()));
        SocketOutcome outcome = SOCKET_DONE;
        int got = connection->RecvAtLeastBefore(chunk, 1, room, deadline, &outcome);
        if (got <= 0 && outcome == SOCKET_TIMED_OUT) {
            request.status = 408;
            break;
        }
        if (got <= 0) {
            log.Write("HTTP の要求を受信できませんでした (%s)", peer.c_str());
            return;
        }
        head.append(chunk, static_cast<size_t>(got));
    }
    WebPage page;
    int status = request.status;
    if (status == 0) {
        status = pages != nullptr && pages->PageAt(request.target, &page) ? 200 : 404;
    }
    if (status != 200) {
        page = ErrorPage(status);
    }
    std::string answer = HttpAnswer(status, page, request.head);
    // A page may have taken its time (a volume list); the answer has a time-out of its own.
    SocketDeadline sendBy =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(SOCKET_TIMEOUT_MS);
    bool sent = connection->SendAllBefore(answer.data(), static_cast<int>(answer.size()), sendBy) ==
                static_cast<int>(answer.size());
    if (status == 408) {
        log.Write("HTTP の要求が時間内に届きません : 408 (%s)", peer.c_str());
    } else if (status == 431) {
        log.Write("HTTP の要求ヘッダが大きすぎます : 431 (%s)", peer.c_str());
    } else {
        log.Write("HTTP %s %s : %d%s (%s)", Logged(request.method).c_str(),
                  Logged(request.target).c_str(), status, sent ? "" : " 送信できませんでした",
                  peer.c_str());
    }
    Linger(connection);
}
