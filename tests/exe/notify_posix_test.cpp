// The Linux edition's channels to a person who is not looking: a real mail by the
// notification command (Debian's msmtp to an SMTP server of Debian's python3-aiosmtpd on
// 127.0.0.1, read back from its mail folder), and the journal's priority prefixes.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/support/child_process_posix.h"
#include "tests/support/fake_peer.h"
#include "tests/support/test_support.h"

namespace {

const char PYTHON[] = "/usr/bin/python3";  // Debian's, which has aiosmtpd
const char TOOL_PATH[] = "PATH=/usr/bin:/bin";

// The mail recipe of the README, with msmtp's settings from the test's file.
const char MAIL_COMMAND[] =
    "{ printf 'To: admin@localhost\\nSubject: =?UTF-8?B?%s?=\\nMIME-Version: 1.0\\n"
    "Content-Type: text/plain; charset=UTF-8\\nContent-Transfer-Encoding: 8bit\\n\\n%s\\n\\n' "
    "\"$(printf %s \"$FSW_TITLE\" | base64 -w0)\" \"$FSW_TEXT\"; cat; } | msmtp -C ";

std::string Base64(const std::string& bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned value = static_cast<unsigned char>(bytes[i]) << 16;
        value |= i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) << 8 : 0;
        value |= i + 2 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) : 0;
        out += digits[value >> 18 & 63];
        out += digits[value >> 12 & 63];
        out += i + 1 < bytes.size() ? digits[value >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? digits[value & 63] : '=';
    }
    return out;
}

// The names of the files in a folder; none when it is missing.
std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            names.push_back(entry->d_name);
        }
    }
    closedir(dir);
    return names;
}

std::string Settings(uint16_t port, const std::string& more) {
    return "[fsw]\nSERVER=1\nSVPORT=" + std::to_string(port) + "\nCLIENT=1\nINTVAL=60\nNOTI=1\n" +
           more;
}

std::string Target(uint16_t port, const std::string& path, const char* threshold,
                   const char* description) {
    return std::string("0\t127.0.0.1\t") + std::to_string(port) + "\t" + path + "\t" + threshold +
           "\t3\t" + description + "\n";
}

// A disk in danger on the program's own server: the first cycle notifies, and the mail
// carries the balloon's title as its subject, its text and the list as its body.
TEST(NotifyCommand, ARealMailByMsmtpReachesAnSmtpServer) {
    TempDir dir;
    TempDir runtime;
    TempDir mail;
    uint16_t smtpPort = FreePort();
    std::string maildir = mail.File("maildir");
    ChildProcess smtp(
        {PYTHON, "-m", "aiosmtpd", "-n", "-l", "127.0.0.1:" + std::to_string(smtpPort), "-c",
         "aiosmtpd.handlers.Mailbox", maildir},
        {TOOL_PATH}, mail.File("smtp.out"), mail.File("smtp.err"));
    ASSERT_TRUE(smtp.Started());
    ASSERT_TRUE(WaitForListening(smtpPort, 20000)) << ReadFileBytes(mail.File("smtp.err"));
    std::string msmtprc = mail.File("msmtprc");
    WriteFileBytes(msmtprc,
                   "host 127.0.0.1\nport " + std::to_string(smtpPort) + "\nfrom fsw@localhost\n");
    chmod(msmtprc.c_str(), 0600);

    uint16_t port = FreePort();
    WriteFileBytes(dir.File("fsw.ini"),
                   Settings(port, std::string("NOTIFYCMD=") + MAIL_COMMAND + msmtprc + " -t\n"));
    WriteFileBytes(dir.File("fsw.lst"), Target(port, dir.Path(), "4000000000", "データ"));
    std::string message;
    {
        Program program(dir.Path(), runtime.Path(), {TOOL_PATH});
        ASSERT_TRUE(program.Started());
        ASSERT_TRUE(WaitUntil([&] { return !FilesIn(maildir + "/new").empty(); }, 30000))
            << ReadFileBytes(dir.File("fsw.log")) << ReadFileBytes(mail.File("smtp.err"));
        std::vector<std::string> files = FilesIn(maildir + "/new");
        ASSERT_EQ(1u, files.size());
        message = ReadFileBytes(maildir + "/new/" + files[0]);
        ASSERT_TRUE(WaitUntil(
            [&] {
                return ReadFileBytes(dir.File("fsw.log")).find("(終了コード=0)") !=
                       std::string::npos;
            },
            10000));
        program.Signal(SIGTERM);
        EXPECT_EQ(0, program.Wait(20000)) << program.Stderr();
    }
    smtp.Signal(SIGTERM);
    smtp.Wait(10000);

    EXPECT_NE(std::string::npos,
              message.find("\nSubject: =?UTF-8?B?" + Base64("空き領域減少") + "?=\n"))
        << message;
    EXPECT_NE(std::string::npos, message.find("X-RcptTo: admin@localhost\n"));
    EXPECT_NE(std::string::npos,
              message.find("\n\n空き領域がしきい値を下回ったディスクが 1個あります。\n\n状態\t"));
    EXPECT_NE(std::string::npos, message.find("\t満杯予測\t前回通知時\n危険\t")) << message;
    EXPECT_NE(std::string::npos, message.find("\tデータ\t-\t-\n")) << message;
}

// Under systemd (JOURNAL_STREAM set) a cycle with a disk in danger and one that cannot be
// reached prints each of its lines with the error priority, the line that its server reports
// no folder growth too.
TEST(Journal, TheLinesOfACycleWithErrorsCarryTheErrorPriority) {
    TempDir dir;
    TempDir runtime;
    uint16_t port = FreePort();
    uint16_t closed = FreePort();
    WriteFileBytes(dir.File("fsw.ini"), Settings(port, ""));
    WriteFileBytes(dir.File("fsw.lst"), Target(port, dir.Path(), "4000000000", "満杯") +
                                            Target(closed, "/", "10", "停止中"));
    Program program(dir.Path(), runtime.Path(), {"JOURNAL_STREAM=8:12345"});
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(WaitUntil([&] { return SplitLines(program.Stdout()).size() >= 5; }, 20000))
        << program.Stdout();
    program.Signal(SIGTERM);
    EXPECT_EQ(0, program.Wait(20000)) << program.Stderr();
    std::vector<std::string> lines = SplitLines(program.Stdout());
    ASSERT_EQ(5u, lines.size()) << program.Stdout();
    EXPECT_EQ("<3>状態\t", lines[0].substr(0, 10));
    for (const std::string& line : lines) {
        EXPECT_EQ("<3>", line.substr(0, 3)) << line;
    }
    EXPECT_EQ(
        "<3>空き領域減少: 空き領域がしきい値を下回ったディスクが 1個あります。 "
        "空き領域が確認できないディスクが 1個あります。",
        lines[4]);
    EXPECT_NE(std::string::npos, lines[3].find(": このサーバはフォルダの増加を報告しません")) << lines[3];
}

}  // namespace
