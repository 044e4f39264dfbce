// The paths of the program's files.
#include "app/file_path.h"

#include <cstring>

#include "mlib/msys.h"

// A name that is an absolute path names its file on its own, so that a service can keep
// its settings in one folder and write its log and history where logs and data go. On
// Windows that is a name with a drive ("D:\logs\fsw.log") or a network name
// ("\\server\share\fsw.log"); a name rooted without a drive ("\logs\fsw.log") is
// taken on the program folder's drive, not on whatever drive is current.
bool BuildPath(char* path, size_t size, const char* folder, const char* name) {
    size_t used = 0;
    bool whole = true;
    auto append = [&](const char* text, size_t length) {
        if (length > size - 1 - used) {
            length = size - 1 - used;
            whole = false;
        }
        memcpy(path + used, text, length);
        used += length;
    };
    const bool windows = M_PATH_SEPARATOR == '\\';
    auto isSeparator = [&](char c) { return c == '/' || (windows && c == '\\'); };
    bool rooted = isSeparator(name[0]);
    bool withDrive = windows && name[0] != '\0' && name[1] == ':';
    bool network = rooted && isSeparator(name[1]);
    bool asItIs = withDrive || (rooted && (!windows || network));
    if (!asItIs && rooted) {
        if (folder[0] != '\0' && folder[1] == ':') {
            append(folder, 2);  // the drive of the folder
        }
    } else if (!asItIs) {
        append(folder, strlen(folder));
        char separator = M_PATH_SEPARATOR;
        append(&separator, 1);
    }
    size_t nameStart = used;
    append(name, strlen(name));
    path[used] = '\0';
    // A settings file written on Windows names subfolders with backslashes; where the
    // separator is a slash they mean the same folders.
    if (!windows) {
        for (size_t i = nameStart; i < used; i++) {
            if (path[i] == '\\') {
                path[i] = '/';
            }
        }
    }
    return whole;
}
