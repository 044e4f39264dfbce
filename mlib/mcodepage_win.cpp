// The Windows builds hold their text in code page 932 already: nothing to convert.
#include "mlib/mcodepage.h"

#include <windows.h>

std::string MAnsiToWire(const char* text, size_t length) {
    return std::string(text, length);
}

std::string MWireToAnsi(const char* bytes, size_t length) {
    return std::string(bytes, length);
}

std::wstring MAnsiToWide(const char* text, size_t length) {
    int wide =
        length != 0 ? MultiByteToWideChar(932, 0, text, static_cast<int>(length), nullptr, 0) : 0;
    if (wide <= 0) {
        return std::wstring();
    }
    std::wstring utf16(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(932, 0, text, static_cast<int>(length), &utf16[0], wide);
    return utf16;
}

bool MProgramCodePageActive() {
    return GetACP() == 932;
}

// Shift-JIS to UTF-16 to UTF-8; a byte that is no Shift-JIS character comes out as the
// system converter's default character, so the result is always valid UTF-8.
std::string MAnsiToUtf8(const char* text, size_t length) {
    std::wstring utf16 = MAnsiToWide(text, length);
    int wide = static_cast<int>(utf16.size());
    if (wide == 0) {
        return std::string();
    }
    int size = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return std::string();
    }
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, &out[0], size, nullptr, nullptr);
    return out;
}
