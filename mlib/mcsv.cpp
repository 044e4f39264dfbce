// The failure texts of the delimited-text parser.
#include "mlib/mcsv.h"

const char* const MCSV_NO_MEMORY = "メモリが確保できません";
const char* const MCSV_COPY_READONLY = "コピーは変更できません！";
const char* const MCSV_BAD_COLUMN = "カラム指定が範囲外です";
