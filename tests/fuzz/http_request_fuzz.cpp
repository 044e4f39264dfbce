// libFuzzer target for the HTTP request reader: any bytes give a bounded answer, never a
// crash, and a request it accepts keeps to what the server relies on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "net/http_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HttpRequest request;
    HttpParse parse = ParseHttpRequest(reinterpret_cast<const char*>(data), size, &request);
    if (parse == HTTP_INCOMPLETE && size >= MAX_HTTP_HEAD) {
        abort();  // a head past the bound must be refused, not waited for
    }
    if (parse == HTTP_PARSED && request.status == 0) {
        if (request.target.empty() || request.target[0] != '/' ||
            (request.method != "GET" && request.method != "HEAD")) {
            abort();
        }
        for (char c : request.target) {
            if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f) {
                abort();
            }
        }
    }
    LooksLikeHttp(reinterpret_cast<const char*>(data), size);
    return 0;
}
