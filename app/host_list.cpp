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

const char UNCLOSED_LINE[] = "登録ホストファイル：%d行目の引用符が閉じていないため読み飛ばします。";
const int LINE_MAX_BYTES = 1023;  // a line, its line end included, fits one 1024-byte read
// A hundred lines of at most LINE_MAX_BYTES fit many times over; more is never read, so that a
// huge file cannot hold up the start.
const int LIST_MAX_BYTES = 1 << 20;

// Reads the list line by line. A line ends with LF, CR LF or a lone CR; a CR or LF inside
// a quoted column is part of the text (the writer quotes texts that hold one), and the
// CRs that stand before a line end belong to it, as the parser would trim them.
//
// A quote that never closes would take every later line into its column. So a record that
// runs on past a line end inside quotes and then does not close within LINE_MAX_BYTES, or
// before the end of the file, is answered UNCLOSED; so is one the caller finds bad after all
// (Refuse). Its first line is then refused and reading goes on with the next line.
class LineReader {
public:
    enum Result { LINE, TOO_LONG, END, READ_ERROR, LIMIT, UNCLOSED };

    explicit LineReader(MFileReader* file)
        : m_file(file),
          m_used(0),
          m_filled(0),
          m_total(0),
          m_stop(END),
          m_pendingUsed(0),
          m_breakAt(std::string::npos),
          m_line(1),
          m_recordLine(1) {}

    // The next line's bytes without its line end (at most LINE_MAX_BYTES with it). A longer
    // line is read to its end and answered TOO_LONG. A line that the byte limit cuts is
    // answered LIMIT and not given.
    Result Next(std::string* line) {
        line->clear();
        m_raw.clear();
        m_breakAt = std::string::npos;
        m_recordLine = m_line;
        int bytes = 0;
        int breaks = 0;       // line ends inside quotes
        bool atStart = true;  // at the start of a column
        bool quoted = false;  // the column began with a quote
        bool inQuotes = false;
        for (;;) {
            int c = Take();
            if (c < 0) {
                if (inQuotes && m_breakAt != std::string::npos) {
                    return UNCLOSED;
                }
                if (m_stop != END || bytes == 0) {
                    return m_stop;
                }
                break;
            }
            bytes++;
            if (inQuotes && (c == '\n' || (c == '\r' && Peek() != '\n'))) {
                breaks++;
            }
            if (inQuotes && (c == '\n' || c == '\r') && m_breakAt == std::string::npos) {
                m_breakAt = m_raw.size() - 1;
            }
            if (bytes > LINE_MAX_BYTES && inQuotes && m_breakAt != std::string::npos) {
                return UNCLOSED;
            }
            if (c == '\n' && !inQuotes) {
                break;
            }
            if (c == '\r' && !inQuotes) {
                for (int next = Peek(); next == '\r' || next == '\n'; next = Peek()) {
                    Take();
                    bytes++;
                    if (next == '\n') {
                        break;
                    }
                }
                break;
            }
            if (c == '\t' && !inQuotes) {
                atStart = true;
                quoted = false;
            } else if (c == '"' && (quoted || atStart)) {
                // As the parser reads it: the first quote of a column opens it, every later
                // one opens or closes (a doubled quote does both).
                atStart = atStart && !quoted;
                quoted = true;
                inQuotes = !inQuotes;
            } else {
                atStart = false;
            }
            if (bytes <= LINE_MAX_BYTES) {
                line->push_back(static_cast<char>(c));
            }
        }
        m_line += 1 + breaks;
        if (bytes > LINE_MAX_BYTES) {
            line->clear();
            return TOO_LONG;
        }
        return LINE;
    }

    // Whether the last line ran on past a line end inside quotes.
    bool SpansLines() const { return m_breakAt != std::string::npos; }

    // After UNCLOSED, or for a line that SpansLines: gives back what followed the first line
    // end inside quotes, to be read again. Answers the number of the line refused.
    int Refuse() {
        size_t resume = m_breakAt + 1;
        if (m_raw[m_breakAt] == '\r') {
            while (resume < m_raw.size() && m_raw[resume] == '\r') {
                resume++;
            }
            if (resume < m_raw.size() && m_raw[resume] == '\n') {
                resume++;
            }
        }
        m_pending = m_raw.substr(resume) + m_pending.substr(m_pendingUsed);
        m_pendingUsed = 0;
        m_breakAt = std::string::npos;
        m_line = m_recordLine + 1;
        return m_recordLine;
    }

    // Whether any byte follows, also one beyond the byte limit.
    bool More() { return Peek() >= 0 || m_stop == LIMIT; }

private:
    // The next byte, or -1 with m_stop telling why there is none. At most LIST_MAX_BYTES
    // are given; the byte after them is read only to tell a longer file. Bytes given back
    // by Refuse come first.
    int Peek() {
        if (m_pendingUsed < m_pending.size()) {
            return static_cast<unsigned char>(m_pending[m_pendingUsed]);
        }
        if (m_used == m_filled) {
            if (m_stop != END || m_total > LIST_MAX_BYTES) {
                return -1;
            }
            size_t want = static_cast<size_t>(LIST_MAX_BYTES + 1 - m_total);
            long got = m_file->Read(m_chunk, want < sizeof m_chunk ? want : sizeof m_chunk);
            if (got <= 0) {
                m_stop = got < 0 ? READ_ERROR : END;
                return -1;
            }
            m_used = 0;
            m_filled = static_cast<size_t>(got);
            m_total += got;
        }
        if (m_total > LIST_MAX_BYTES && m_used == m_filled - 1) {
            m_stop = LIMIT;
            return -1;
        }
        return static_cast<unsigned char>(m_chunk[m_used]);
    }

    int Take() {
        int c = Peek();
        if (c >= 0) {
            if (m_pendingUsed < m_pending.size()) {
                m_pendingUsed++;
            } else {
                m_used++;
            }
            m_raw.push_back(static_cast<char>(c));
        }
        return c;
    }

    MFileReader* m_file;
    char m_chunk[4096];
    size_t m_used;
    size_t m_filled;
    long m_total;  // bytes read from the file
    Result m_stop;
    std::string m_pending;  // bytes given back by Refuse, read before the file's next ones
    size_t m_pendingUsed;
    std::string m_raw;  // the bytes of the current line as read, its line ends included
    size_t m_breakAt;   // in m_raw, the first line end inside quotes, or npos
    int m_line;         // the number of the next line of the file
    int m_recordLine;   // the number of the current line's first line
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

// One line of the file, ended by CR LF on every platform, as the Windows program writes it.
std::string FormatLine(const HostEntry& entry) {
    char number[16];
    std::string line;
    snprintf(number, sizeof number, "%u\t", static_cast<unsigned>(entry.excluded));
    line += number;
    line += MQuoteColumn(entry.host, sizeof entry.host) + "\t";
    snprintf(number, sizeof number, "%u\t", static_cast<unsigned>(entry.port));
    line += number;
    line += MQuoteColumn(entry.path, sizeof entry.path) + "\t";
    snprintf(number, sizeof number, "%lu\t", static_cast<unsigned long>(entry.threshold));
    line += number;
    snprintf(number, sizeof number, "%u\t", static_cast<unsigned>(entry.unit));
    line += number;
    line += MQuoteColumn(entry.description, sizeof entry.description) + "\r\n";
    return line;
}

}  // namespace

void Kiv::LoadHostList() {
    MCSVParser<char> parser;
    MLockGuard hold(m_hostLock);
    m_hosts.clear();
    MFileReader file;
    MReadResult opened = file.Open(m_listPath);
    if (opened == M_READ_NOT_REGULAR) {
        Log("登録ホストファイルが通常のファイルではありません。(File=%s)", m_listPath);
        return;
    }
    if (opened != M_READ_DONE) {
        Log("登録ホスト一覧ファイルがオープンできません。(File=%s)", m_listPath);
        return;
    }
    parser.SetDelimiter("\t");
    LineReader reader(&file);
    std::string line;
    for (int count = 1;; count++) {
        if (count > static_cast<int>(MAX_HOSTS)) {
            if (reader.More()) {
                Log("登録ホスト数が%dを超えています。%d件のみを読み込みます",
                    static_cast<int>(MAX_HOSTS), static_cast<int>(MAX_HOSTS));
            }
            break;
        }
        LineReader::Result result = reader.Next(&line);
        if (result == LineReader::END) {
            break;
        }
        if (result == LineReader::READ_ERROR) {
            Log("登録ホストファイル読込エラー！");
            break;
        }
        if (result == LineReader::LIMIT) {
            Log("登録ホストファイルが大きすぎるため先頭%dバイトのみを読み込みます。(File=%s)",
                LIST_MAX_BYTES, m_listPath);
            break;
        }
        if (result == LineReader::UNCLOSED) {
            Log(UNCLOSED_LINE, reader.Refuse());
            continue;
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
        if ((columns != 6 && columns != 7) && reader.SpansLines()) {
            Log(UNCLOSED_LINE, reader.Refuse());
            continue;
        }
        if (columns < 6 && line.find(' ') != std::string::npos) {
            // Columns written with spaces, as an editor that turns tabs into spaces leaves them.
            Log("登録ホストファイル：%d行目の列がタブで区切られていません。列はタブで区切ります。"
                "(カラム数:%d)",
                count, columns);
            continue;
        }
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
    if (result == M_REPLACE_REFUSED) {
        Log("登録ホスト一覧ファイルが通常のファイルでないか他のユーザのリンクのため、書き込みません"
            "。(File=%s)",
            m_listPath);
    } else if (result == M_REPLACE_OPEN_FAILED) {
        Log("登録ホスト一覧ファイルがオープンできません。(File=%s)", m_listPath);
    } else {
        Log("登録ホストファイル書込エラー！");
    }
    MessageBoxF(m_mainWin.GetHandle(), MB_ICONERROR, "エラー！",
                "ホスト情報の登録ができませんでした。");
}
