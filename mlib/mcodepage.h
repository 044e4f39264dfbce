// Text on the wire is Shift-JIS (code page 932), the code page of the Windows peers.
// The Windows builds already hold their text in it and pass it through unchanged; the
// Linux edition, whose text is UTF-8, converts at the protocol boundary and keeps the
// raw bytes of a text that does not convert.
#pragma once

#include <cstddef>
#include <string>

// Text of the program's own code page to the bytes that go on the wire.
std::string MAnsiToWire(const char* text, size_t length);
// Bytes received from the wire to text of the program's own code page.
std::string MWireToAnsi(const char* bytes, size_t length);
// Text of the program's own code page as valid UTF-8, for files that other programs read
// as UTF-8: what does not convert becomes a replacement character, never a stray byte.
std::string MAnsiToUtf8(const char* text, size_t length);

// Whether the process runs in the program's own code page: the Windows builds' texts are
// Shift-JIS, which the system shows right only where its ANSI code page is 932. The Linux
// edition converts at its boundaries, so always.
bool MProgramCodePageActive();

#ifdef _WIN32
// Text of the program's own code page (932) as UTF-16, whatever the system's code page.
std::wstring MAnsiToWide(const char* text, size_t length);
#endif
