// The program's own INI reader and writer.
#include "mlib/mini.h"

#include <cstring>

#include "mlib/mbchar.h"
#include "mlib/mfileops.h"

namespace {

const char UTF8_BOM[] = "\xEF\xBB\xBF";

// Blanks around names and values; ^Z, the old end-of-file mark, counts as one too.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A';
}

void TrimRange(const std::string& bytes, size_t* start, size_t* end) {
    while (*start < *end && IsBlank(bytes[*start])) {
        (*start)++;
    }
    while (*end > *start && IsBlank(bytes[*end - 1])) {
        (*end)--;
    }
}

char FoldAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Equal names: the same characters, ASCII letters in either case. The bytes of a
// multi-byte character compare exactly, so that a trail byte is never folded.
bool SameName(const char* a, size_t aLength, const char* b, size_t bLength) {
    if (aLength != bLength) {
        return false;
    }
    for (size_t i = 0; i < aLength;) {
        size_t length = static_cast<size_t>(MbcLength(static_cast<unsigned char>(a[i])));
        if (length == 1) {
            if (FoldAscii(a[i]) != FoldAscii(b[i])) {
                return false;
            }
            i++;
            continue;
        }
        for (size_t j = 0; j < length && i < aLength; j++, i++) {
            if (a[i] != b[i]) {
                return false;
            }
        }
    }
    return true;
}

// A requested name without the blanks around it.
std::string TrimmedName(const char* name) {
    std::string text = name;
    size_t start = 0;
    size_t end = text.size();
    TrimRange(text, &start, &end);
    return text.substr(start, end - start);
}

// A value enclosed in a pair of the same quotes, double or single, loses them.
std::string WithoutQuotes(const std::string& value) {
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// Copies a text up to its first NUL into a buffer of size bytes, cut to size - 1.
unsigned long CopyOut(const std::string& text, char* buffer, unsigned long size) {
    size_t length = strnlen(text.c_str(), text.size());
    if (length > size - 1) {
        length = size - 1;
    }
    memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<unsigned long>(length);
}

}  // namespace

bool MIniText::NextLine(size_t position, Line* line) const {
    size_t size = m_bytes.size();
    if (position >= size) {
        return false;
    }
    if (position == 0 && m_bytes.compare(0, 3, UTF8_BOM) == 0) {
        position = 3;  // a UTF-8 mark before the first line is not part of it
    }
    size_t end = position;
    while (end < size && m_bytes[end] != '\r' && m_bytes[end] != '\n') {
        end++;
    }
    size_t next = end;
    if (next < size && m_bytes[next] == '\r') {
        next++;
    }
    if (next < size && m_bytes[next] == '\n' && (next == end || m_bytes[next - 1] == '\r')) {
        next++;
    }
    line->start = position;
    line->contentEnd = end;
    line->next = next;
    return true;
}

void MIniText::Find(const char* section, const char* key, Found* found) const {
    std::string sectionName = TrimmedName(section);
    std::string keyName = TrimmedName(key);
    *found = Found();
    bool inSection = false;
    Line line;
    for (size_t position = 0; NextLine(position, &line); position = line.next) {
        size_t start = line.start;
        size_t end = line.contentEnd;
        TrimRange(m_bytes, &start, &end);
        if (start == end) {
            continue;  // blank lines belong to no one
        }
        if (m_bytes[start] == '[') {
            size_t close = end - 1;
            while (close > start && m_bytes[close] != ']') {
                close--;
            }
            if (close > start) {
                if (inSection) {
                    return;  // only the first section of the name counts
                }
                size_t nameStart = start + 1;
                size_t nameEnd = close;
                TrimRange(m_bytes, &nameStart, &nameEnd);
                if (SameName(m_bytes.data() + nameStart, nameEnd - nameStart, sectionName.data(),
                             sectionName.size())) {
                    inSection = true;
                    found->section = true;
                    found->lastLine = line;
                }
                continue;
            }
        }
        if (!inSection) {
            continue;
        }
        found->lastLine = line;
        if (found->key) {
            continue;
        }
        const char* base = m_bytes.data();
        const void* sign = memchr(base + start, '=', end - start);
        size_t equals =
            sign != nullptr ? static_cast<size_t>(static_cast<const char*>(sign) - base) : end;
        bool hasValue = equals < end;
        size_t nameEnd = hasValue ? equals : end;
        size_t nameStart = start;
        TrimRange(m_bytes, &nameStart, &nameEnd);
        if (!SameName(m_bytes.data() + nameStart, nameEnd - nameStart, keyName.data(),
                      keyName.size())) {
            continue;
        }
        found->key = true;
        found->keyLine = line;
        found->nameStart = nameStart;
        found->nameEnd = nameEnd;
        found->hasValue = hasValue;
        found->valueStart = hasValue ? equals + 1 : end;
        found->valueEnd = end;
        TrimRange(m_bytes, &found->valueStart, &found->valueEnd);
    }
}

bool MIniText::GetValue(const char* section, const char* key, std::string* value) const {
    Found found;
    Find(section, key, &found);
    if (!found.key || !found.hasValue) {
        return false;
    }
    value->assign(m_bytes, found.valueStart, found.valueEnd - found.valueStart);
    return true;
}

std::string MIniText::LineEnd() const {
    size_t end = m_bytes.find_first_of("\r\n");
    if (end == std::string::npos) {
        return "\r\n";
    }
    if (m_bytes[end] == '\n') {
        return "\n";
    }
    return end + 1 < m_bytes.size() && m_bytes[end + 1] == '\n' ? "\r\n" : "\r";
}

bool MIniText::SetValue(const char* section, const char* key, const char* value) {
    std::string text = value != nullptr ? value : "";
    Found found;
    Find(section, key, &found);
    std::string lineEnd = LineEnd();
    if (found.key) {
        if (found.hasValue &&
            m_bytes.compare(found.valueStart, found.valueEnd - found.valueStart, text) == 0) {
            return false;
        }
        std::string line = m_bytes.substr(found.nameStart, found.nameEnd - found.nameStart);
        line += '=';
        line += text;
        m_bytes.replace(found.keyLine.start, found.keyLine.contentEnd - found.keyLine.start, line);
        return true;
    }
    std::string keyLine = TrimmedName(key) + "=" + text + lineEnd;
    if (found.section) {
        const Line& last = found.lastLine;
        if (last.next == last.contentEnd) {
            keyLine = lineEnd + keyLine;  // the last line of the file had no line end
        }
        m_bytes.insert(last.next, keyLine);
        return true;
    }
    if (!m_bytes.empty() && m_bytes.back() != '\r' && m_bytes.back() != '\n' &&
        m_bytes != "\xEF\xBB\xBF") {
        m_bytes += lineEnd;
    }
    m_bytes += "[" + TrimmedName(section) + "]" + lineEnd + keyLine;
    return true;
}

unsigned MIniParseInt(const char* value, int defaultValue) {
    if (value == nullptr || value[0] == '\0') {
        return static_cast<unsigned>(defaultValue);
    }
    const unsigned char* p = reinterpret_cast<const unsigned char*>(value);
    while (*p != '\0' && *p <= ' ') {
        p++;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        p++;
    }
    unsigned result = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        result = result * 10u + static_cast<unsigned>(*p - '0');
    }
    return negative ? 0u - result : result;
}

bool MIniParseNumber(const char* value, uint32_t* number) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(value);
    while (*p != '\0' && *p <= ' ') {
        p++;
    }
    if (*p == '+') {
        p++;
    }
    if (*p < '0' || *p > '9') {
        return false;
    }
    uint64_t result = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        result = result * 10u + static_cast<unsigned>(*p - '0');
        if (result > UINT32_MAX) {
            return false;
        }
    }
    *number = static_cast<uint32_t>(result);
    return true;
}

bool MIniValueHasNul(const char* section, const char* key, const char* path) {
    std::string bytes;
    std::string value;
    return MReadFile(path, MINI_MAX_FILE_BYTES, &bytes) == M_READ_DONE &&
           MIniText(bytes).GetValue(section, key, &value) && value.find('\0') != std::string::npos;
}

unsigned long MIniGetString(const char* section, const char* key, const char* defaultValue,
                            char* buffer, unsigned long size, const char* path) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    return CopyOut(MIniGetText(section, key, defaultValue, path), buffer, size);
}

std::string MIniGetText(const char* section, const char* key, const char* defaultValue,
                        const char* path) {
    std::string value;
    bool found = false;
    std::string bytes;
    if (section != nullptr && key != nullptr &&
        MReadFile(path, MINI_MAX_FILE_BYTES, &bytes) == M_READ_DONE) {
        found = MIniText(bytes).GetValue(section, key, &value);
    }
    if (!found) {
        value = defaultValue != nullptr ? defaultValue : "";
        while (!value.empty() && IsBlank(value.back())) {
            value.pop_back();
        }
    }
    value = WithoutQuotes(value);
    return value.substr(0, strnlen(value.c_str(), value.size()));
}

unsigned MIniGetInt(const char* section, const char* key, int defaultValue, const char* path) {
    char value[1024];
    if (MIniGetString(section, key, "", value, sizeof value, path) == 0) {
        return static_cast<unsigned>(defaultValue);
    }
    return MIniParseInt(value, defaultValue);
}

bool MIniWriteString(const char* section, const char* key, const char* value, const char* path) {
    if (key == nullptr) {
        return false;
    }
    return MIniWriteStrings(section, {MIniValue{key, value != nullptr ? value : ""}}, path);
}

bool MIniWriteStrings(const char* section, const std::vector<MIniValue>& values, const char* path) {
    if (section == nullptr) {
        return false;
    }
    std::string bytes;
    MReadResult read = MReadFile(path, MINI_MAX_FILE_BYTES, &bytes);
    if (read != M_READ_DONE && read != M_READ_MISSING) {
        return false;  // a file that cannot be read whole is not overwritten
    }
    MIniText text(bytes);
    bool changed = false;
    for (const MIniValue& value : values) {
        changed |= text.SetValue(section, value.key.c_str(), value.value.c_str());
    }
    if (!changed) {
        return true;
    }
    return MReplaceFile(path, text.Bytes().data(), text.Bytes().size()) == M_REPLACE_DONE;
}

MReadResult MIniCheckFile(const char* path) {
    std::string bytes;
    return MReadFile(path, MINI_MAX_FILE_BYTES, &bytes);
}
