// HTTP on the disk server's port (key WEB): one request per connection, GET and HEAD of a
// few fixed pages, no file ever read or named. The pages come from the caller through
// WebPages, so the server knows nothing of what they show.
#pragma once

#include <string>

#include "mlib/mlog_sink.h"
#include "net/fsw_socket.h"

struct WebPage {
    std::string contentType;  // with its charset where it is text
    std::string body;
};

class WebPages {
public:
    virtual ~WebPages() {}
    // The page at path (the request's target without its query), or false when there is
    // none (404). Called from the server's handler threads at once: must be safe so.
    virtual bool PageAt(const std::string& path, WebPage* page) = 0;
};

// The whole answer with the status: the status line, the headers every answer carries
// (the content security policy, nosniff, no-store, Connection: close, the length), then the
// body unless head.
std::string HttpAnswer(int status, const WebPage& page, bool head);

// Serves the connection whose first bytes, received, are those of an HTTP request: the
// rest of the head before the deadline (408 after it, 431 beyond MAX_HTTP_HEAD), the
// answer from pages (null: none, every path 404), one line to log naming peer. The
// connection is left open for its owner to end.
void ServeHttp(FswSocket* connection, const std::string& received, SocketDeadline deadline,
               WebPages* pages, MLogSink& log, const std::string& peer);
