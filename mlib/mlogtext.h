// Text from outside the program (a requested path, a peer's name) made fit for one log
// line: no peer may end a line, start a forged one or send a terminal sequence.
#pragma once

#include <cstddef>
#include <string>

// The bytes as they are, except a backslash (doubled, so that a path's own "\r" is
// not read as an escaped CR), control characters (CR, LF and TAB as \r, \n and \t,
// the others as \xNN), UTF-8 C1 controls and bytes that form no character of the code
// page (as \xNN, one escape per byte). A Shift-JIS trail byte 0x5C stays as it is.
// validLength is SjisValidLength or Utf8ValidLength; the result is well-formed text of
// that code page.
std::string EscapeLogText(const char* bytes, size_t length,
                          int (*validLength)(const unsigned char*, size_t));

// The same with the code page of the build's log: UTF-8 in the Linux edition,
// Shift-JIS in the Windows builds.
std::string MEscapeForLog(const char* bytes, size_t length);
inline std::string MEscapeForLog(const std::string& text) {
    return MEscapeForLog(text.data(), text.size());
}
