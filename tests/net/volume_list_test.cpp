// Which volume a path lies on, by the text of both: Windows paths by character of the
// build's code page, whose trail bytes may be a backslash (表 and ソ are 0x5C second).
#include <gtest/gtest.h>

#include <string>

#include "net/volume_list.h"

namespace {

TEST(PathIsOn, ThePathOrOneBelowItWithWindowsCaseAndSeparators) {
    struct Case {
        const char* path;
        const char* mountPoint;
        bool on;
    };
    const Case cases[] = {
        {"C:\\data", "C:\\", true},
        {"C:\\mnt\\disk\\a", "C:\\mnt\\disk\\", true},
        {"C:\\mnt\\diskette", "C:\\mnt\\disk", false},
        {"/srvdata", "/srv/", false},
        {"C:\\表\\a", "C:\\表", true},
        {"C:\\表", "C:\\表\\", true},
        {"C:\\表X", "C:\\表", false},
        {"C:\\ソフト", "C:\\ソ", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.on, PathIsOn(c.path, c.mountPoint)) << c.path << " on " << c.mountPoint;
    }
}

}  // namespace
