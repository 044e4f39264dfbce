// The Linux edition's server against the system itself: a mount whose statfs never
// answers, running out of descriptors, and paths that are not absolute.
#include <gtest/gtest.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/fuse.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "mlib/msocket.h"
#include "net/disk_guard.h"
#include "net/server.h"
#include "tests/support/app_fixture.h"
#include "tests/support/fake_peer.h"

namespace {

typedef std::chrono::steady_clock Clock;

const std::string DISK_ERROR_REPLY = WireHeader(1825, 2, 0, 512, 0);

// Serves the FUSE kernel protocol on fd: answers INIT and the root's attributes, never
// STATFS, so that a statfs on the mount waits until this process ends. Runs in a child
// process, so it uses system calls only.
[[noreturn]] void ServeHungFileSystem(int fd) {
    static char buffer[FUSE_MIN_READ_BUFFER + 131072];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == ENOENT || errno == EAGAIN)) {
            continue;
        }
        if (got < static_cast<ssize_t>(sizeof(fuse_in_header))) {
            _exit(0);  // unmounted
        }
        const fuse_in_header* in = reinterpret_cast<const fuse_in_header*>(buffer);
        struct {
            fuse_out_header header;
            union {
                fuse_init_out init;
                fuse_attr_out attr;
            } body;
        } reply;
        memset(&reply, 0, sizeof reply);
        reply.header.unique = in->unique;
        size_t size = sizeof reply.header;
        if (in->opcode == FUSE_INIT) {
            const fuse_init_in* init = reinterpret_cast<const fuse_init_in*>(in + 1);
            reply.body.init.major = FUSE_KERNEL_VERSION;
            reply.body.init.minor =
                init->minor < FUSE_KERNEL_MINOR_VERSION ? init->minor : FUSE_KERNEL_MINOR_VERSION;
            reply.body.init.max_readahead = init->max_readahead;
            reply.body.init.max_write = 4096;
            size += sizeof reply.body.init;
        } else if (in->opcode == FUSE_GETATTR) {
            reply.body.attr.attr_valid = 60;
            reply.body.attr.attr.ino = FUSE_ROOT_ID;
            reply.body.attr.attr.mode = S_IFDIR | 0755;
            reply.body.attr.attr.nlink = 2;
            size += sizeof reply.body.attr;
        } else if (in->opcode == FUSE_STATFS || in->opcode == FUSE_INTERRUPT ||
                   in->opcode == FUSE_FORGET || in->opcode == FUSE_BATCH_FORGET) {
            continue;  // STATFS never answered; the others take no reply
        } else {
            reply.header.error = -ENOSYS;
        }
        reply.header.len = static_cast<uint32_t>(size);
        if (write(fd, &reply, size) < 0 && errno == ENODEV) {
            _exit(0);
        }
    }
}

// A FUSE file system mounted under /tmp whose statfs never answers, as a stale network
// mount. At the end it is unmounted lazily and its process ended, which lets every
// thread waiting in it return.
class HungMount {
public:
    HungMount() : m_child(-1), m_mounted(false) {
        char dir[] = "/tmp/fsw-hung-XXXXXX";
        if (mkdtemp(dir) == nullptr) {
            m_error = "no folder for the mount";
            return;
        }
        m_path = dir;
        int fd = open("/dev/fuse", O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            m_error = std::string("/dev/fuse: ") + strerror(errno);
            return;
        }
        std::string options = "fd=" + std::to_string(fd) + ",rootmode=40000,user_id=0,group_id=0";
        if (mount("fsw-hung", dir, "fuse", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
            m_error = std::string("mount: ") + strerror(errno);
            close(fd);
            return;
        }
        m_mounted = true;
        m_child = fork();
        if (m_child == 0) {
            ServeHungFileSystem(fd);
        }
        close(fd);  // the child holds the file system's end alone
        if (m_child < 0) {
            m_error = "fork failed";
        }
    }
    ~HungMount() {
        if (m_mounted) {
            umount2(m_path.c_str(), MNT_DETACH);
        }
        if (m_child > 0) {
            kill(m_child, SIGKILL);
            waitpid(m_child, nullptr, 0);
        }
        if (!m_path.empty()) {
            rmdir(m_path.c_str());
        }
    }
    bool Ready() const { return m_mounted && m_child > 0; }
    const std::string& Path() const { return m_path; }
    const std::string& Error() const { return m_error; }

private:
    std::string m_path;
    std::string m_error;
    pid_t m_child;
    bool m_mounted;
};

TEST(ServerHungMount, RequestsForAHungMountAreAnswered512WithinSixSecondsAndDoNotHoldTheStop) {
    std::vector<PendingRequest> waiting;
    {
        HungMount mount;
        if (!mount.Ready()) {
            GTEST_SKIP() << "no FUSE mount possible here (" << mount.Error() << ")";
        }
        TestApp t;
        uint16_t port = t.StartServer();
        ASSERT_NE(0, port);
        t.RestartLog();
        // 64 requests in flight, each from a peer of its own: four peers of 16 would pass
        // their shares (a quarter of what the others leave) whenever the handlers take
        // them faster than those over the path's share are answered.
        for (int i = 0; i < MAX_CONNECTION_HANDLERS; i++) {
            std::string source = "127.0.0." + std::to_string(1 + i);
            waiting.push_back(SendFrom(port, source.c_str(), DiskRequest(mount.Path())));
        }
        // Those over the path's share are answered at once; the rest wait for the mount.
        ASSERT_TRUE(
            WaitUntil([&] { return t.app.m_serverThreadCount == MAX_HANDLERS_PER_PATH; }, 3000));
        EXPECT_EQ(28u, AskFrom(port, "127.0.0.5", DiskRequest(t.dir.Path())).size())
            << "another path meanwhile";

        Clock::time_point stopping = Clock::now();
        t.StopServer();
        EXPECT_LT(SecondsSince(stopping), 6.0);
        for (PendingRequest& pending : waiting) {
            EXPECT_EQ(DISK_ERROR_REPLY, ReadUntilClosed(pending.socket.get()));
            EXPECT_LT(SecondsSince(pending.sent), 6.0);
        }
        EXPECT_EQ(static_cast<size_t>(MAX_HANDLERS_PER_PATH),
                  t.LogCount("ディスク容量の取得が時間内に終わりません。path=" + mount.Path()));
        EXPECT_EQ(1, TheDiskGuard().StuckCount());
    }
    EXPECT_TRUE(WaitUntil([] { return TheDiskGuard().StuckCount() == 0; }, 5000))
        << "the thread left in the mount returns once the file system has ended";
}

// The descriptors of the process, its soft limit lowered to a few more than are open
// and those taken up, for one scope.
class DescriptorsUsedUp {
public:
    DescriptorsUsedUp() {
        getrlimit(RLIMIT_NOFILE, &m_saved);
        int highest = 0;
        if (DIR* dir = opendir("/proc/self/fd")) {
            while (dirent* entry = readdir(dir)) {
                highest = std::max(highest, atoi(entry->d_name));
            }
            closedir(dir);
        }
        rlimit lowered = m_saved;
        lowered.rlim_cur = static_cast<rlim_t>(highest) + 8;
        setrlimit(RLIMIT_NOFILE, &lowered);
        for (int fd; (fd = dup(0)) >= 0;) {
            m_taken.push_back(fd);
        }
    }
    ~DescriptorsUsedUp() {
        for (int fd : m_taken) {
            close(fd);
        }
        setrlimit(RLIMIT_NOFILE, &m_saved);
    }

private:
    rlimit m_saved;
    std::vector<int> m_taken;
};

TEST(ServerAccept, WithoutDescriptorsTheListenerRestsAndLogsOncePerBurst) {
    TestApp t;
    uint16_t port = t.StartServer();
    ASSERT_NE(0, port);
    t.RestartLog();
    FswSocket client;
    ASSERT_TRUE(client.Create(0));  // its descriptor before they run out
    MSetSocketTimeouts(client.handle, 30000);
    {
        DescriptorsUsedUp exhausted;
        sockaddr_in server;
        memset(&server, 0, sizeof server);
        server.sin_family = AF_INET;
        server.sin_port = MHtons(port);
        server.sin_addr.s_addr = MInetAddr("127.0.0.1");
        ASSERT_EQ(0, MConnect(client.handle, &server));  // queued; accept fails meanwhile
        MSleep(1000);
    }
    std::vector<std::string> log = t.LogMessages();
    ASSERT_EQ(1u, log.size()) << ::testing::PrintToString(log);
    EXPECT_EQ(0u,
              log[0].find("リソース不足のため接続を受け付けられません。少し待って再試行します ("));
    std::string request = DiskRequest(t.dir.Path());
    client.SendAll(request.data(), static_cast<int>(request.size()));
    EXPECT_EQ(28u, ReadUntilClosed(&client).size()) << "served once descriptors are back";
}

// A listener that cannot be had for lack of descriptors, at any step, may be had later:
// it is tried again, not given up with the server.
TEST(ServerPort, ListeningWithoutDescriptorsIsTriedAgainWithOneLine) {
    SetListenRetryInterval(50);
    TestApp t;
    t.app.m_serverPort = FreePort();
    MThread server;
    {
        DescriptorsUsedUp exhausted;
        ASSERT_TRUE(server.Start(ServerThread));
        MSleep(300);
    }
    ASSERT_TRUE(WaitForServerListening(server, 5000));
    std::vector<std::string> log = t.LogMessages();
    ASSERT_EQ(2u, log.size()) << ::testing::PrintToString(log);
    EXPECT_EQ(0u, log[0].find("待ち受けできません。10秒ごとに再試行します (")) << log[0];
    t.app.StopServer();
    EXPECT_TRUE(server.Wait());
    server.CloseHandle();
    SetListenRetryInterval(10000);
}

TEST(ServerPaths, APathThatIsNotAbsoluteIsAnswered512WithoutBeingMeasured) {
    TestApp t;
    uint16_t port = t.StartServer();
    ASSERT_NE(0, port);
    t.RestartLog();
    MeasureRecorder measured;
    EXPECT_EQ(DISK_ERROR_REPLY, AskFrom(port, "127.0.0.1", DiskRequest("srv/share")));
    EXPECT_EQ(std::vector<std::string>{"許可されていない形式のパスです。path=srv/share"},
              t.LogMessages());
    EXPECT_EQ(0, measured.Count());
}

}  // namespace
