// The strict reader of a request's head.
#include "net/http_request.h"

#include <cstring>

namespace {

const char* const KNOWN_METHODS[] = {"GET ",   "HEAD ",    "POST ",  "PUT ",    "DELETE ",
                                     "PATCH ", "OPTIONS ", "TRACE ", "CONNECT "};

bool IsTokenChar(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           (c != 0 && strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
    size_t n = strlen(b);
    if (a.size() != n) {
        return false;
    }
    for (size_t i = 0; i < n; i++) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        if (x != b[i]) {
            return false;
        }
    }
    return true;
}

std::string TrimmedValue(const std::string& value) {
    size_t begin = value.find_first_not_of(" \t");
    size_t end = value.find_last_not_of(" \t");
    return begin == std::string::npos ? "" : value.substr(begin, end - begin + 1);
}

// The status of a request line "METHOD SP target SP HTTP/1.x", and its parts.
int ReadRequestLine(const std::string& line, HttpRequest* request, bool* http11) {
    size_t first = line.find(' ');
    size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    if (second == std::string::npos || line.find(' ', second + 1) != std::string::npos) {
        return 400;
    }
    request->method = line.substr(0, first);
    std::string target = line.substr(first + 1, second - first - 1);
    std::string version = line.substr(second + 1);
    for (char c : request->method) {
        if (c < 'A' || c > 'Z') {
            return 400;
        }
    }
    if (target.empty() || target[0] != '/') {
        return 400;
    }
    for (unsigned char c : target) {
        if (c <= 0x20 || c >= 0x7f) {
            return 400;
        }
    }
    request->target = target.substr(0, target.find('?'));
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        return version.compare(0, 5, "HTTP/") == 0 ? 505 : 400;
    }
    *http11 = version == "HTTP/1.1";
    if (request->method != "GET" && request->method != "HEAD") {
        return 405;
    }
    request->head = request->method == "HEAD";
    return 0;
}

// The status of the header lines: well formed, one Host where HTTP/1.1 needs it, no body.
int ReadHeaders(const std::string& head, size_t from, bool http11) {
    int hosts = 0;
    while (from < head.size()) {
        size_t end = head.find("\r\n", from);
        std::string line = head.substr(from, end - from);
        from = end == std::string::npos ? head.size() : end + 2;
        size_t colon = line.find(':');
        if (colon == 0 || colon == std::string::npos) {
            return 400;  // also a folded line, which begins with a space
        }
        std::string name = line.substr(0, colon);
        for (unsigned char c : name) {
            if (!IsTokenChar(c)) {
                return 400;
            }
        }
        std::string value = TrimmedValue(line.substr(colon + 1));
        if (EqualsIgnoringCase(name, "host")) {
            hosts++;
        } else if (EqualsIgnoringCase(name, "transfer-encoding") ||
                   (EqualsIgnoringCase(name, "content-length") && value != "0")) {
            return 400;  // a body: no page takes one
        }
    }
    return hosts > 1 || (http11 && hosts == 0) ? 400 : 0;
}

}  // namespace

bool LooksLikeHttp(const char* bytes, size_t size) {
    for (const char* method : KNOWN_METHODS) {
        size_t n = strlen(method);
        if (size >= n && memcmp(bytes, method, n) == 0) {
            return true;
        }
    }
    return false;
}

HttpParse ParseHttpRequest(const char* bytes, size_t size, HttpRequest* request) {
    *request = HttpRequest();
    size_t limit = size < MAX_HTTP_HEAD ? size : MAX_HTTP_HEAD;
    size_t end = std::string::npos;  // of the head, before its blank line
    for (size_t i = 0; i < limit && end == std::string::npos; i++) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        bool crlf = c == '\r' && i + 1 < size && bytes[i + 1] == '\n';
        if ((c == '\n' && (i == 0 || bytes[i - 1] != '\r')) ||
            (c == '\r' && !crlf && i + 1 < size)) {
            request->status = 400;  // a bare LF or CR
            return HTTP_PARSED;
        }
        if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7f) {
            request->status = 400;
            return HTTP_PARSED;
        }
        if (crlf && i + 3 < size && i + 3 < MAX_HTTP_HEAD && bytes[i + 2] == '\r' &&
            bytes[i + 3] == '\n') {
            end = i;
        }
    }
    if (end == std::string::npos) {
        if (size < MAX_HTTP_HEAD) {
            return HTTP_INCOMPLETE;
        }
        request->status = 431;
        return HTTP_PARSED;
    }
    std::string head(bytes, end);
    size_t lineEnd = head.find("\r\n");
    bool http11 = false;
    request->status = ReadRequestLine(head.substr(0, lineEnd), request, &http11);
    if (request->status == 0 && lineEnd != std::string::npos) {
        request->status = ReadHeaders(head, lineEnd + 2, http11);
    } else if (request->status == 0 && http11) {
        request->status = 400;  // no Host
    }
    return HTTP_PARSED;
}
