// Windows only. The service's command line as the system splits it again: a folder
// comes back whole, also one that ends in a Shift-JIS character whose second byte is the
// backslash's 0x5C, and one that ends in a backslash.
#include <gtest/gtest.h>

#include <string>

#include "app/service_command.h"
#include "mlib/msys.h"

#include <shellapi.h>  // after windows.h, which msys.h brings

namespace {

std::string Ansi(const wchar_t* wide) {
    char text[1024] = "";
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, NULL, NULL);
    return text;
}

TEST(ServiceCommandWin, TheSystemSplitsTheServiceCommandLineBackIntoTheFolder) {
    ASSERT_EQ(932u, GetACP()) << "the test's folders are Shift-JIS";
    ASSERT_EQ('\x5C', std::string("表")[1]);
    const char* folders[] = {"C:\\fsw data", "C:\\データ\\表", "C:\\表\\", "C:\\", "D:\\a\\\\"};
    for (const char* dir : folders) {
        std::string line = ServiceCommandLine("C:\\プログラム\\fsw.exe", dir);
        wchar_t wide[1024];
        ASSERT_NE(0, MultiByteToWideChar(CP_ACP, 0, line.c_str(), -1, wide, 1024));
        int count = 0;
        wchar_t** args = CommandLineToArgvW(wide, &count);
        ASSERT_NE(nullptr, args);
        ASSERT_EQ(4, count) << line;
        EXPECT_EQ("C:\\プログラム\\fsw.exe", Ansi(args[0]));
        EXPECT_EQ("--service", Ansi(args[1]));
        EXPECT_EQ("--dir", Ansi(args[2]));
        std::string back = Ansi(args[3]);
        EXPECT_EQ(dir, back) << line;
        LocalFree(args);
    }
}

}  // namespace
