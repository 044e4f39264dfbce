// The head of an HTTP/1.x request as the server's port takes it: bytes in, a plain record
// out, nothing read from a socket or a file here. Strict, since the server answers one
// request per connection and only a few fixed pages: what a browser, curl or Prometheus
// sends passes, anything unusual is refused with the status that says why.
#pragma once

#include <cstddef>
#include <string>

// The request line and the headers together, with their blank line, at most.
const size_t MAX_HTTP_HEAD = 8192;

// Whether the first bytes of a connection are those of an HTTP request that the server
// takes as one: a method the server knows followed by a space ("GET ", "HEAD ", and the
// others, which it refuses with 405). The disk query protocol's first bytes, 07 21, never
// begin so. False as long as too few bytes have come to tell.
bool LooksLikeHttp(const char* bytes, size_t size);
// The bytes it takes to tell: the longest method and its space.
const size_t HTTP_SNIFF_SIZE = 8;

enum HttpParse {
    HTTP_INCOMPLETE,  // the head has not ended yet and may still come within the bounds
    HTTP_PARSED,      // a request the server answers: see HttpRequest::status
};

struct HttpRequest {
    // 0 for a request to answer with a page; otherwise the error status to answer with:
    // 400 (malformed: a bare LF, a NUL or control byte, no Host in HTTP/1.1, a body, a
    // folded header), 405 (a method other than GET and HEAD), 431 (the head is larger
    // than MAX_HTTP_HEAD), 505 (a version other than HTTP/1.0 and 1.1).
    int status = 0;
    std::string method;  // as sent, when the request line could be read
    std::string target;  // the request target as sent, up to the first '?'
    bool head = false;   // HEAD: the answer has no body
};

// Reads the head from the bytes received so far. HTTP_INCOMPLETE while the head may still
// come whole; HTTP_PARSED once it has (bytes after the blank line, a pipelined request
// say, are not looked at), or once the bytes show it is bad, with its status.
HttpParse ParseHttpRequest(const char* bytes, size_t size, HttpRequest* request);
