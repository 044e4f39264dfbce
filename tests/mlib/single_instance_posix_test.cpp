// The single-instance marker of the Linux edition: a lock file that anyone could have put
// there first (in /tmp) is trusted only when it is the user's own regular file that no one
// else may write, and one that cannot be checked never counts as "no other copy".
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "mlib/msys.h"
#include "tests/support/test_support.h"

namespace {

class SingleInstancePosix : public ::testing::Test {
protected:
    SingleInstancePosix() {
        const char* previous = getenv("XDG_RUNTIME_DIR");
        m_hadPrevious = previous != nullptr;
        m_previous = m_hadPrevious ? previous : "";
        setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
    }
    ~SingleInstancePosix() override {
        if (m_hadPrevious) {
            setenv("XDG_RUNTIME_DIR", m_previous.c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
    }

    std::string LockPath() const { return dir.File("FSW_Test.lock"); }

    TempDir dir;

private:
    bool m_hadPrevious;
    std::string m_previous;
};

TEST_F(SingleInstancePosix, ALockFileThatCannotBeTrustedOrCheckedRefusesTheStart) {
    struct Case {
        const char* reason;
        std::function<bool(const std::string&)> make;
    };
    auto ownFile = [](const std::string& path, mode_t mode) {
        WriteFileBytes(path, "");
        return chmod(path.c_str(), mode) == 0;
    };
    std::string target = dir.File("target");
    const Case cases[] = {
        {"ロックファイルがシンボリックリンクです。",
         [&](const std::string& p) {
             return ownFile(target, 0600) && symlink(target.c_str(), p.c_str()) == 0;
         }},
        {"ロックファイルに他のユーザーが書き込めます。",
         [&](const std::string& p) { return ownFile(p, 0666); }},
        {"ロックファイルに他のユーザーが書き込めます。",
         [&](const std::string& p) { return ownFile(p, 0620); }},
        {"ロックファイルが通常のファイルではありません。",
         [](const std::string& p) { return mkfifo(p.c_str(), 0600) == 0; }},
        {"ロックファイルを開けません。",
         [](const std::string& p) { return mkdir(p.c_str(), 0700) == 0; }},
        // Only root can give a file away; for other users the case is left out.
        {"ロックファイルの所有者が別のユーザーです。",
         [&](const std::string& p) {
             return geteuid() == 0 && ownFile(p, 0600) && chown(p.c_str(), 65534, 65534) == 0;
         }},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(LockPath());
        if (!c.make(LockPath())) {
            continue;
        }
        std::string problem;
        MSingleInstance marker;
        EXPECT_EQ(M_INSTANCE_UNCHECKED, marker.Create("FSW_Test", &problem)) << c.reason;
        EXPECT_EQ(0u, problem.find(c.reason)) << problem;
        EXPECT_NE(std::string::npos, problem.find("(File=" + LockPath() + ")")) << problem;
    }
}

}  // namespace
