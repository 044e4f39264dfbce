// The failure texts of the delimited-text parser.
#include "mlib/mcsv.h"

#include "mlib/mbstr.h"
#include "mlib/mstring.h"

const char* const MCSV_NO_MEMORY = "メモリが確保できません";
const char* const MCSV_COPY_READONLY = "コピーは変更できません！";
const char* const MCSV_BAD_COLUMN = "カラム指定が範囲外です";

// The parser splits by bytes, so the quotes and tabs are found by bytes too; in valid
// Shift-JIS or UTF-8 text no trail byte is a quote, tab or CR.
std::string MQuoteColumn(const char* text, size_t size) {
    typedef mstring<char, MCP_LATIN1> ByteText;
    ByteText column;
    column.Assign(text, static_cast<int>(strnlen(text, size)));
    const char* bytes = column.GetString();
    if (MbsFind(bytes, "\"", SingleByteCharLength) != nullptr) {
        column.ReplaceAll("\"", "\"\"");
        ByteText quoted = ByteText("\"") + column.GetString() + "\"";
        column.Assign(quoted.GetString(), quoted.GetLength());
    } else if (MbsFind(bytes, "\t", SingleByteCharLength) != nullptr ||
               MbsFind(bytes, "\r", SingleByteCharLength) != nullptr ||
               MbsFind(bytes, "\n", SingleByteCharLength) != nullptr) {
        ByteText quoted = ByteText("\"") + column.GetString() + "\"";
        column.Assign(quoted.GetString(), quoted.GetLength());
    }
    return std::string(column.GetString(), static_cast<size_t>(column.GetLength()));
}
