// Counting, comparing and searching multi-byte texts at character boundaries.
#include "mlib/mbstr.h"

#include <cstring>

int SingleByteCharLength(const char*) {
    return 1;
}

MCharRule MCharRuleOf(int codePage) {
    switch (codePage) {
        case MCP_SJIS:
            return SjisCharLength;
        case MCP_LATIN1:
            return SingleByteCharLength;
        case MCP_UTF8:
            return Utf8CharLength;
        default:
            return MbcCharLength;
    }
}

int MbsLength(const char* text, MCharRule rule) {
    if (text == nullptr) {
        return 0;
    }
    int count = 0;
    for (const char* p = text; *p != '\0'; p += rule(p)) {
        count++;
    }
    return count;
}

int MbsLength(const char* text) {
    return MbsLength(text, MbcCharLength);
}

namespace {

int Sign(int value) {
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

// One character against another: bytes as signed values over the shorter one, then the
// shorter character first.
int CompareCharacters(const char* a, int lengthA, const char* b, int lengthB) {
    int order = MCompareSignedBytes(a, b, lengthA < lengthB ? lengthA : lengthB);
    return order != 0 ? order : Sign(lengthA - lengthB);
}

}  // namespace

int MCompareSignedBytes(const char* a, const char* b, int n) {
    for (int i = 0; i < n; i++) {
        signed char x = static_cast<signed char>(a[i]);
        signed char y = static_cast<signed char>(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return 0;
}

int MbsCompare(const char* a, const char* b, int n, MCharRule rule) {
    if (a == nullptr || b == nullptr) {
        return a == b ? 0 : (a == nullptr ? -1 : 1);
    }
    for (int compared = 0; n <= 0 || compared < n; compared++) {
        if (*a == '\0' || *b == '\0') {
            return *a == *b ? 0 : (*a == '\0' ? -1 : 1);
        }
        int lengthA = rule(a);
        int lengthB = rule(b);
        int order = CompareCharacters(a, lengthA, b, lengthB);
        if (order != 0) {
            return order;
        }
        a += lengthA;
        b += lengthB;
    }
    return 0;
}

int MbsCompare(const char* a, const char* b, int n) {
    return MbsCompare(a, b, n, MbcCharLength);
}

const char* MbsFindIn(const char* text, int textLength, const char* pattern, int patternLength,
                      MCharRule rule) {
    if (text == nullptr || textLength <= 0 || pattern == nullptr || patternLength <= 0) {
        return nullptr;
    }
    const char* end = text + textLength;
    for (const char* p = text; end - p >= patternLength; p += *p == '\0' ? 1 : rule(p)) {
        if (memcmp(p, pattern, static_cast<size_t>(patternLength)) == 0) {
            return p;
        }
    }
    return nullptr;
}

const char* MbsFind(const char* text, const char* pattern, MCharRule rule) {
    if (text == nullptr || pattern == nullptr) {
        return nullptr;
    }
    return MbsFindIn(text, static_cast<int>(strlen(text)), pattern,
                     static_cast<int>(strlen(pattern)), rule);
}

const char* MbsFind(const char* text, const char* pattern) {
    return MbsFind(text, pattern, MbcCharLength);
}
