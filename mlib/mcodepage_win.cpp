// The Windows builds hold their text in code page 932 already: nothing to convert.
#include "mlib/mcodepage.h"

std::string MAnsiToWire(const char* text, size_t length) {
    return std::string(text, length);
}

std::string MWireToAnsi(const char* bytes, size_t length) {
    return std::string(bytes, length);
}
