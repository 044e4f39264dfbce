// Character boundaries of multi-byte text in the ANSI code page of the build:
// Shift-JIS (code page 932) in the Windows builds, UTF-8 in the Linux edition.
// Both rules are always compiled, so both can be tested on any machine.
#pragma once

#include <cstddef>

// Shift-JIS: a byte from 0x81 to 0x9F or from 0xE0 to 0xFC begins a two-byte character.
inline int SjisLeadLength(unsigned char b) {
    return ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) ? 2 : 1;
}

// UTF-8: the length that a lead byte announces; 1 for ASCII and for stray bytes.
inline int Utf8LeadLength(unsigned char b) {
    if (b >= 0xC2 && b <= 0xDF)
        return 2;
    if (b >= 0xE0 && b <= 0xEF)
        return 3;
    if (b >= 0xF0 && b <= 0xF4)
        return 4;
    return 1;
}

// Length in bytes of the character that begins at p (p[0] is not NUL). A character cut
// short by the NUL counts as one byte; in UTF-8 a lead byte must be followed by the
// continuation bytes it announces, so no ASCII byte is ever taken for part of a character.
int SjisCharLength(const char* p);
int Utf8CharLength(const char* p);

// Length of the well-formed character that begins at p, of at most left bytes; 0 when
// the bytes there are no character of the code page (a stray or cut byte, an overlong
// or surrogate UTF-8 form, a Shift-JIS lead byte without a trail byte). Control
// characters count as characters here.
int SjisValidLength(const unsigned char* p, size_t left);
int Utf8ValidLength(const unsigned char* p, size_t left);

// The rule of the build's ANSI code page.
int MbcLength(unsigned char leadByte);  // the length a lead byte announces
int MbcCharLength(const char* p);       // the length of the character at p, as above
int MbcValidLength(const unsigned char* p, size_t left);  // as the two above
