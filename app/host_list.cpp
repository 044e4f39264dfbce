// The host list file: one check target a line, seven tab-separated columns.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/kiv.h"
#include "mlib/mcsv.h"
#include "mlib/mfileops.h"
#include "mlib/mstring.h"
#include "monitor/main_window.h"  // the owner of the save's failure box

namespace {

const int LINE_MAX_BYTES = 1023;  // a line, its line feed included, fits one 1024-byte read

// Reads a file line by line; a line is the bytes up to and including a line feed, or the
// bytes before the end of the file.
class LineReader {
public:
    enum Result { LINE, TOO_LONG, END, READ_ERROR };

    explicit LineReader(FILE* file) : m_file(file), m_used(0), m_filled(0) {}

    // The next line's bytes without its line feed (at most LINE_MAX_BYTES). A longer line
    // is read to its end and answered TOO_LONG.
    Result Next(std::string* line) {
        line->clear();
        bool tooLong = false;
        for (;;) {
            if (m_used == m_filled && !Fill()) {
                if (ferror(m_file) != 0) {
                    return READ_ERROR;
                }
                if (line->empty() && !tooLong) {
                    return END;
                }
                return tooLong || line->size() > LINE_MAX_BYTES ? TOO_LONG : LINE;
            }
            const char* start = m_chunk + m_used;
            size_t available = m_filled - m_used;
            const void* feed = memchr(start, '\n', available);
            size_t take = feed != nullptr
                              ? static_cast<size_t>(static_cast<const char*>(feed) - start)
                              : available;
            if (!tooLong) {
                line->append(start, take);
                if (line->size() + (feed != nullptr ? 1 : 0) > LINE_MAX_BYTES) {
                    tooLong = true;
                    line->clear();
                }
            }
            m_used += take;
            if (feed != nullptr) {
                m_used++;
                return tooLong ? TOO_LONG : LINE;
            }
        }
    }

private:
    bool Fill() {
        m_used = 0;
        m_filled = fread(m_chunk, 1, sizeof m_chunk, m_file);
        return m_filled > 0;
    }

    FILE* m_file;
    char m_chunk[4096];
    size_t m_used;
    size_t m_filled;
};

// Closes a stream when the scope ends, also when the parser throws.
class StreamCloser {
public:
    explicit StreamCloser(FILE* file) : m_file(file) {}
    ~StreamCloser() { fclose(m_file); }
    StreamCloser(const StreamCloser&) = delete;
    StreamCloser& operator=(const StreamCloser&) = delete;

private:
    FILE* m_file;
};

// strtoul in base 10 with a 32-bit unsigned long, as the file's numbers are read on every
// platform: blanks, a sign, digits; no digits give 0, a value beyond 32 bits 4294967295.
uint32_t ReadNumber(const char* text) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        p++;
    }
    bool negative = *p == '-';
    if (*p == '+' || *p == '-') {
        p++;
    }
    uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        value = value * 10 + static_cast<uint64_t>(*p - '0');
        if (value > 0xFFFFFFFFu) {
            return 0xFFFFFFFFu;
        }
    }
    return negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(value))
                    : static_cast<uint32_t>(value);
}

// A text field of size bytes as a column: quoted when it holds a double quote (each doubled), a tab
// or a CR, so that it reads back as it was. The reader splits by bytes, so the quotes and tabs are
// found by bytes too; in valid Shift-JIS or UTF-8 text no trail byte is a quote, tab or CR.
std::string QuotedText(const char* text, size_t size) {
    typedef mstring<char, MCP_LATIN1> ByteText;
    ByteText column;
    column.Assign(text, static_cast<int>(strnlen(text, size)));
    const char* bytes = column.GetString();
    if (MbsFind(bytes, "\"", SingleByteCharLength) != nullptr) {
        column.ReplaceAll("\"", "\"\"");
        ByteText quoted = ByteText("\"") + column.GetString() + "\"";
        column.Assign(quoted.GetString(), quoted.GetLength());
    } else if (MbsFind(bytes, "\t", SingleByteCharLength) != nullptr ||
               MbsFind(bytes, "\r", SingleByteCharLength) != nullptr) {
        ByteText quoted = ByteText("\"") + column.GetString() + "\"";
        column.Assign(quoted.GetString(), quoted.GetLength());
    }
    return std::string(column.GetString(), static_cast<size_t>(column.GetLength()));
}

// One line of the file, ended by CR LF on every platform, as the Windows program writes it.
std::string FormatLine(const HostEntry& entry) {
    char number[16];
    std::string line;
    snprintf(number, sizeof number, "%u\t", static_cast<unsigned>(entry.excluded));
    line += number;
    line += QuotedText(entry.host, sizeof entry.host) + "\t";
    snprintf(number, sizeof number, "%u\t", static_cast<unsigned>(entry.port));
    line += number;
    line += QuotedText(entry.path, sizeof entry.path) + "\t";
    snprintf(number, sizeof number, "%lu\t", static_cast<unsigned long>(entry.threshold));
    line += number;
    snprintf(number, sizeof number, "%u\t", static_cast<unsigned>(entry.unit));
    line += number;
    line += QuotedText(entry.description, sizeof entry.description) + "\r\n";
    return line;
}

}  // namespace

void Kiv::LoadHostList() {
    MCSVParser<char> parser;
    MLockGuard hold(m_hostLock);
    m_hosts.clear();
    FILE* file = fopen(m_listPath, "rb");
    if (file == nullptr) {
        Log("登録ホスト一覧ファイルがオープンできません。(File=%s)", m_listPath);
        return;
    }
    StreamCloser closer(file);
    parser.SetDelimiter("\t");
    LineReader reader(file);
    std::string line;
    for (int count = 1;; count++) {
        LineReader::Result result = reader.Next(&line);
        if (result == LineReader::END) {
            break;
        }
        if (result == LineReader::READ_ERROR) {
            Log("登録ホストファイル読込エラー！");
            break;
        }
        if (count > static_cast<int>(MAX_HOSTS)) {
            Log("登録ホスト数が%dを超えています。%d件のみを読み込みます",
                static_cast<int>(MAX_HOSTS), static_cast<int>(MAX_HOSTS));
            break;
        }
        if (result == LineReader::TOO_LONG) {
            Log("登録ホストファイル：%d行目が長すぎるため読み飛ばします。(最大%dバイト)", count,
                LINE_MAX_BYTES);
            continue;
        }
        // The parser takes a C text and drops its last byte, the line feed: a NUL ends
        // the text as it would in a line read by fgets, and the feed is put back.
        line.resize(strnlen(line.c_str(), line.size()));
        line += '\n';
        parser.Parse(line.c_str());
        int columns = parser.GetCount();
        if (columns != 6 && columns != 7) {
            Log("登録ホストファイル：カラム数が%dでない行です。(カラム数:%d)", 7, columns);
            continue;
        }
        HostEntry entry;
        memset(&entry, 0, sizeof entry);
        entry.excluded = ReadNumber(parser.GetColumn(0));
        CopyField(entry.host, sizeof entry.host, parser.GetColumn(1));
        entry.port = static_cast<uint16_t>(ReadNumber(parser.GetColumn(2)));
        CopyField(entry.path, sizeof entry.path, parser.GetColumn(3));
        entry.threshold = ReadNumber(parser.GetColumn(4));
        entry.unit = ReadNumber(parser.GetColumn(5));
        if (columns == 7) {
            CopyField(entry.description, sizeof entry.description, parser.GetColumn(6));
        }
        m_hosts.push_back(entry);
    }
}

// The file is written beside the old one and put in its place only when written and
// flushed whole, so a failure half-way leaves the old list as it was.
void Kiv::SaveHostList() {
    std::string content;
    {
        MLockGuard hold(m_hostLock);
        size_t written = 0;
        for (const HostEntry& entry : m_hosts) {
            if (written++ == MAX_HOSTS) {
                break;
            }
            content += FormatLine(entry);
        }
    }
    MReplaceResult result = MReplaceFile(m_listPath, content.data(), content.size());
    if (result == M_REPLACE_DONE) {
        return;
    }
    if (result == M_REPLACE_OPEN_FAILED) {
        Log("登録ホスト一覧ファイルがオープンできません。(File=%s)", m_listPath);
    } else {
        Log("登録ホストファイル書込エラー！");
    }
    MessageBoxF(m_mainWin.GetHandle(), MB_ICONERROR, "エラー！",
                "ホスト情報の登録ができませんでした。");
}
