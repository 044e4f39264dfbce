// Texts as sequences of multi-byte characters: counting, comparing and searching at
// character boundaries. Each helper comes in two forms: one that takes the character
// rule (SjisCharLength, Utf8CharLength), so that both code pages can be used anywhere,
// and one that uses the rule of the build's ANSI code page.
#pragma once

#include <cstddef>

#include "mlib/mbchar.h"

// Length in bytes of the character at p (p[0] is not NUL); see mbchar.h.
typedef int (*MCharRule)(const char* p);

// Code pages by their Windows numbers, and the build's own ANSI code page.
enum MCodePage {
    MCP_ANSI = 1,        // Shift-JIS in the Windows builds, UTF-8 in the Linux edition
    MCP_SJIS = 932,      // Shift-JIS
    MCP_LATIN1 = 28591,  // one byte, one character
    MCP_UTF8 = 65001,    // UTF-8
};

// The character rule of a code page; the build's own for MCP_ANSI and unknown ones.
MCharRule MCharRuleOf(int codePage);

// Every byte a character of its own.
int SingleByteCharLength(const char* p);

// Compares n bytes as signed 8-bit values: -1, 0 or 1.
int MCompareSignedBytes(const char* a, const char* b, int n);

// Number of characters of a NUL-terminated text; 0 for a null text.
int MbsLength(const char* text, MCharRule rule);
int MbsLength(const char* text);

// Compares two texts character by character and answers -1, 0 or 1. Characters of equal
// byte length compare byte by byte, bytes as signed 8-bit values; of different length,
// over the shorter one, and when that part is equal the shorter character sorts first. A
// text that ends first sorts first; a null text sorts before every other text and equals
// only another null text. With n > 0 only the first n characters count.
int MbsCompare(const char* a, const char* b, int n, MCharRule rule);
int MbsCompare(const char* a, const char* b, int n = 0);

// The first character boundary of text at which the bytes of pattern follow, or null when
// text is null or empty, pattern is null or empty, or there is none. A pattern byte never
// matches inside a character of text.
const char* MbsFind(const char* text, const char* pattern, MCharRule rule);
const char* MbsFind(const char* text, const char* pattern);

// MbsFind over a text of a given length that may hold NUL bytes (the byte at
// text[textLength] must exist and be NUL, as in every block of the string classes).
const char* MbsFindIn(const char* text, int textLength, const char* pattern, int patternLength,
                      MCharRule rule);
