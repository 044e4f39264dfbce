// MCSVParser splits one line of delimited text into columns, honouring columns enclosed in
// double quotes. Failures are thrown as one of its constant message texts.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

extern const char* const MCSV_NO_MEMORY;      // "メモリが確保できません"
extern const char* const MCSV_COPY_READONLY;  // "コピーは変更できません！"
extern const char* const MCSV_BAD_COLUMN;     // "カラム指定が範囲外です"

// A text field of at most size bytes written as a column that the parser reads back as it
// was: enclosed in double quotes (each inner one doubled) when it holds a double quote, a
// tab, a CR or an LF; otherwise unchanged.
std::string MQuoteColumn(const char* text, size_t size);

template <typename C>
class MCSVParser {
    static_assert(sizeof(C) == 1, "MCSVParser splits byte text");

public:
    // An empty line in a buffer of 8192 bytes, the delimiter ",", no columns.
    MCSVParser()
        : bufferSize(8192),
          columnCount(0),
          quoteChar('"'),
          lineBuffer(nullptr),
          delimiter(nullptr),
          columns(nullptr),
          quotedFlags(nullptr),
          isCopy(false),
          emptyText(0) {
        lineBuffer = static_cast<C*>(malloc(static_cast<size_t>(bufferSize) + 1));
        delimiter = static_cast<C*>(malloc(2));
        if (lineBuffer == nullptr || delimiter == nullptr) {
            free(lineBuffer);
            free(delimiter);
            throw MCSV_NO_MEMORY;
        }
        lineBuffer[0] = 0;
        delimiter[0] = ',';
        delimiter[1] = 0;
    }

    // A copy shares the other parser's buffers: it reads the columns of the other's last
    // line, frees nothing and refuses to change. It must not outlive the other's next Parse.
    MCSVParser(const MCSVParser& other)
        : bufferSize(other.bufferSize),
          columnCount(other.columnCount),
          quoteChar(other.quoteChar),
          lineBuffer(other.lineBuffer),
          delimiter(other.delimiter),
          columns(other.columns),
          quotedFlags(other.quotedFlags),
          isCopy(true),
          emptyText(0) {}
    MCSVParser& operator=(const MCSVParser&) = delete;

    ~MCSVParser() {
        if (!isCopy) {
            free(lineBuffer);
            free(delimiter);
            free(columns);
            free(quotedFlags);
        }
    }

    // The delimiter: one or more bytes; an empty or null one leaves every line whole.
    void SetDelimiter(const C* text) {
        RefuseIfCopy();
        size_t length = text != nullptr ? strlen(text) : 0;
        C* copy = static_cast<C*>(malloc(length + 1));
        if (copy == nullptr) {
            throw MCSV_NO_MEMORY;
        }
        if (length > 0) {
            memcpy(copy, text, length);
        }
        copy[length] = 0;
        free(delimiter);
        delimiter = copy;
    }

    // Splits a line. Its last byte, the line feed, is dropped whatever it is, then every CR,
    // LF and NUL at the end. A null line releases the buffers.
    void Parse(const C* line) {
        RefuseIfCopy();
        FreeColumns();
        if (line == nullptr) {
            free(lineBuffer);
            lineBuffer = nullptr;
            bufferSize = 0;
            return;
        }
        size_t length = strlen(line);
        Reserve(length);
        memcpy(lineBuffer, line, length + 1);
        if (length > 0) {
            lineBuffer[length - 1] = 0;
        }
        for (size_t end = length; end > 0; end--) {
            C last = lineBuffer[end - 1];
            if (last != '\r' && last != '\n' && last != 0) {
                break;
            }
            lineBuffer[end - 1] = 0;
        }
        Split();
    }

    int GetCount() const { return columnCount; }

    // The text of a column, 0-based.
    const C* GetColumn(int index) const {
        if (index < 0 || index >= columnCount) {
            throw MCSV_BAD_COLUMN;
        }
        return columns[index];
    }

    // Whether a column began with the quote character.
    bool IsQuoted(int index) const {
        if (index < 0 || index >= columnCount) {
            throw MCSV_BAD_COLUMN;
        }
        return quotedFlags[index] == quoteChar;
    }

private:
    void RefuseIfCopy() const {
        if (isCopy) {
            throw MCSV_COPY_READONLY;
        }
    }

    void FreeColumns() {
        free(columns);
        free(quotedFlags);
        columns = nullptr;
        quotedFlags = nullptr;
        columnCount = 0;
    }

    // A line buffer of at least length + 1 bytes.
    void Reserve(size_t length) {
        if (lineBuffer != nullptr && length <= static_cast<size_t>(bufferSize)) {
            return;
        }
        free(lineBuffer);
        bufferSize = 0;
        lineBuffer = length < 0x7FFFFFFF ? static_cast<C*>(malloc(length + 1)) : nullptr;
        if (lineBuffer == nullptr) {
            throw MCSV_NO_MEMORY;
        }
        bufferSize = static_cast<int>(length);
    }

    // Adds one column; its text starts at start, or is empty when start is null.
    void AddColumn(C* start, C flag, int* capacity) {
        if (columnCount == *capacity) {
            int grown = *capacity == 0 ? 8 : *capacity * 2;
            C** moreColumns =
                static_cast<C**>(realloc(columns, sizeof(C*) * static_cast<size_t>(grown)));
            if (moreColumns == nullptr) {
                FreeColumns();
                throw MCSV_NO_MEMORY;
            }
            columns = moreColumns;
            C* moreFlags = static_cast<C*>(realloc(quotedFlags, static_cast<size_t>(grown)));
            if (moreFlags == nullptr) {
                FreeColumns();
                throw MCSV_NO_MEMORY;
            }
            quotedFlags = moreFlags;
            *capacity = grown;
        }
        columns[columnCount] = start != nullptr ? start : &emptyText;
        quotedFlags[columnCount] = flag;
        columnCount++;
    }

    // One walk over the buffer that removes the quotes that are not text, in place (the
    // text is copied from the read position r to the write position w <= r), and cuts the
    // columns at the delimiters outside quotes.
    //
    // A column that begins with a quote is quoted; inside it a doubled quote stands for
    // one, another quote switches the quoted state, so text after a closing quote belongs
    // to the column and a later quote opens it again. Two quotes at the very start are
    // one literal quote when a third follows (so that a text of quotes only reads back as
    // written); otherwise the second quote stays as text (""abc is "abc), and two quotes
    // followed by the delimiter make an empty column.
    void Split() {
        const C* cut = delimiter;
        size_t cutLength = cut != nullptr ? strlen(cut) : 0;
        int capacity = 0;
        C* buffer = lineBuffer;
        size_t r = 0;
        size_t w = 0;
        C* start = nullptr;      // the current column's text, null before it begins
        C flag = 0;              // quoteChar for a quoted column
        bool atStart = true;     // nothing of the column read yet
        bool inQuotes = false;   // delimiters belong to the text
        bool loneQuote = false;  // the text began with the second of two opening quotes
        while (buffer[r] != 0) {
            size_t t = r;  // the byte kept as text unless the delimiter begins there
            if (buffer[r] == quoteChar && atStart && flag == 0) {
                flag = quoteChar;
                inQuotes = true;
                r++;
                continue;
            }
            if (buffer[r] == quoteChar && atStart) {
                start = buffer + w;
                atStart = false;
                if (buffer[r + 1] == quoteChar) {
                    t = r + 1;  // a doubled quote: one stays, inQuotes unchanged
                } else {
                    loneQuote = true;
                    inQuotes = !inQuotes;
                }
            } else if (buffer[r] == quoteChar && flag != 0) {
                // The quote goes; the byte after it is taken as it stands.
                if (buffer[r + 1] != quoteChar) {
                    inQuotes = !inQuotes;
                }
                if (buffer[r + 1] == 0) {
                    break;
                }
                t = r + 1;
            } else if (atStart) {
                start = buffer + w;
                atStart = false;
            }
            if (!inQuotes && cutLength > 0 && strncmp(buffer + t, cut, cutLength) == 0) {
                if (flag != 0 && loneQuote && start != nullptr && start + 1 == buffer + w) {
                    start = buffer + w;  // "" before the delimiter: an empty column
                }
                buffer[w] = 0;
                AddColumn(start, flag, &capacity);
                w++;
                r = t + cutLength;
                start = nullptr;
                flag = 0;
                atStart = true;
                inQuotes = false;
                loneQuote = false;
                continue;
            }
            buffer[w++] = buffer[t];
            r = t + 1;
        }
        buffer[w] = 0;
        AddColumn(start, flag, &capacity);
    }

    int bufferSize;   // usable bytes of lineBuffer; the block has one more for the NUL
    int columnCount;  // columns of the last parsed line
    C quoteChar;      // the double quote
    C* lineBuffer;    // the parser's copy of the line, cut into the columns
    C* delimiter;     // NUL-terminated, one or more bytes
    C** columns;      // columnCount pointers into lineBuffer or to emptyText
    C* quotedFlags;   // quoteChar for a column that began with a quote, else 0
    bool isCopy;      // shares another parser's buffers: frees nothing, refuses to change
    C emptyText;      // the text of every column that has none
};
