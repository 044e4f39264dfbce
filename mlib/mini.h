// The program's own INI reader and writer, for where the Windows profile functions do not
// exist. It behaves as they do for everything the program relies on: a well-formed key's
// value, the default of a missing key, section or file, creating the file, and replacing
// one key's value in place while keeping every other byte of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mlib/mfileops.h"

// The bytes of an INI file, read and changed line by line. A line ends with CR LF, LF or a
// lone CR. Names of sections and keys compare without regard to the case of ASCII
// letters; blanks around names (also inside the brackets) and values do not count.
class MIniText {
public:
    MIniText() {}
    explicit MIniText(const std::string& bytes) : m_bytes(bytes) {}

    // The value of key in the first section named section, without the blanks around it.
    // False when the section or the key is missing, or the key has no '='.
    bool GetValue(const char* section, const char* key, std::string* value) const;

    // Gives key the value. A present key's line is rewritten as name=value in place; a
    // missing key goes after the last line of the section; a missing section is added at
    // the end of the file. Other lines keep their bytes. False when nothing changed (the
    // key already had that value).
    bool SetValue(const char* section, const char* key, const char* value);

    const std::string& Bytes() const { return m_bytes; }

private:
    struct Line {
        size_t start;       // first byte of the line
        size_t contentEnd;  // first byte of its line end
        size_t next;        // first byte of the next line
    };
    struct Found {
        bool section;      // the section exists
        bool key;          // the key exists in it
        Line keyLine;      // the key's line
        size_t nameStart;  // the key's name in its line, without blanks
        size_t nameEnd;
        bool hasValue;      // the line has '='
        size_t valueStart;  // the value, without blanks
        size_t valueEnd;
        Line lastLine;  // the section's last line that is not blank
    };

    bool NextLine(size_t position, Line* line) const;
    void Find(const char* section, const char* key, Found* found) const;
    std::string LineEnd() const;  // the file's first line end, or CR LF

    std::string m_bytes;
};

// The number in a profile value, as GetPrivateProfileIntA reads it: blanks, an optional
// sign and decimal digits, wrapping at 32 bits; the default for an empty value.
unsigned MIniParseInt(const char* value, int defaultValue);

// The number of a settings value, strictly: blanks, an optional plus sign and decimal
// digits (what follows them does not count, as for GetPrivateProfileIntA). False for a
// value without digits, with a minus sign or beyond 32 bits, which MIniParseInt wraps.
bool MIniParseNumber(const char* value, uint32_t* number);

// A settings file is small: a larger one is not read (its keys read as missing) and never
// rewritten, so that a huge file or a device cannot exhaust the memory.
const size_t MINI_MAX_FILE_BYTES = 1u << 20;

// The state in which a reader finds the file at path: M_READ_DONE for a regular file of at
// most MINI_MAX_FILE_BYTES that can be read, M_READ_MISSING, or what keeps it from being
// read (not a regular file, too large, cannot be opened or read).
MReadResult MIniCheckFile(const char* path);

// The profile functions' contracts over a file (GetPrivateProfileIntA,
// GetPrivateProfileStringA, WritePrivateProfileStringA). Only a file that MIniCheckFile
// finds readable is read. The writer replaces the file whole and never leaves it
// half-written; it answers false when the file could not be read or replaced, and leaves
// the file as it was.
unsigned MIniGetInt(const char* section, const char* key, int defaultValue, const char* path);
unsigned long MIniGetString(const char* section, const char* key, const char* defaultValue,
                            char* buffer, unsigned long size, const char* path);
bool MIniWriteString(const char* section, const char* key, const char* value, const char* path);
// Whether the key's value in the file holds a NUL byte, at which the profile functions
// (and MIniGetText) end it: what they give is then cut.
bool MIniValueHasNul(const char* section, const char* key, const char* path);
// The value MIniGetString gives, whole: not cut to a buffer.
std::string MIniGetText(const char* section, const char* key, const char* defaultValue,
                        const char* path);

// One key and its value, for writing several keys at once.
struct MIniValue {
    std::string key;
    std::string value;
};

// Gives every key of section its value in one replacement of the file: a process killed at
// any moment leaves the old file or the new one, never a mix. Other keys and bytes are kept.
bool MIniWriteStrings(const char* section, const std::vector<MIniValue>& values, const char* path);
