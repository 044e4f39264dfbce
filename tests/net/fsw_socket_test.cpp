// The socket wrapper against real sockets on 127.0.0.1: whole-buffer moves, their
// failures, the receive time-out, name resolution and reconnecting.
#include <gtest/gtest.h>

#include <string>

#include "mlib/msocket.h"
#include "net/fsw_socket.h"
#include "tests/support/fake_peer.h"
#include "tests/support/test_support.h"

namespace {

class FswSocketTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(0, MStartupNetwork()); }
    void TearDown() override { MCleanupNetwork(); }
};

TEST_F(FswSocketTest, ANewSocketIsClosedAndCloseIsHarmlessTwice) {
    FswSocket socket;
    EXPECT_EQ(M_INVALID_SOCKET, socket.handle);
    socket.Close();
    socket.Close();
    EXPECT_EQ(M_INVALID_SOCKET, socket.handle);
}

TEST_F(FswSocketTest, MovesWholeBuffersBothWays) {
    FakeServer server;
    ASSERT_NE(0, server.Port());
    std::string reply(100000, 'r');
    server.Serve(70000, reply);
    FswSocket client;
    ASSERT_TRUE(ConnectLocal(&client, server.Port()));
    std::string request(70000, 'q');
    EXPECT_EQ(70000, client.SendAll(request.data(), 70000));
    std::string got(100000, '\0');
    EXPECT_EQ(100000, client.RecvAll(&got[0], 100000));
    EXPECT_EQ(reply, got);
    EXPECT_EQ(request, server.Received());
}

TEST_F(FswSocketTest, AZeroCountFailsBothWays) {
    FakeServer server;
    server.Serve(0, "x");
    FswSocket client;
    ASSERT_TRUE(ConnectLocal(&client, server.Port()));
    char byte = 0;
    EXPECT_EQ(-1, client.SendAll(&byte, 0));
    EXPECT_EQ(-1, client.RecvAll(&byte, 0));
}

TEST_F(FswSocketTest, RecvAllFailsWhenThePeerClosesShortOfTheCount) {
    FakeServer server;
    server.Serve(0, "12345");
    FswSocket client;
    ASSERT_TRUE(ConnectLocal(&client, server.Port()));
    char buffer[12];
    EXPECT_EQ(-1, client.RecvAll(buffer, sizeof buffer));
}

TEST_F(FswSocketTest, RecvAllFailsWhenNothingArrivesWithinTheTimeOut) {
    FakeServer server;
    server.Serve(0, "", 8000);  // holds the connection open, silent
    FswSocket client;
    ASSERT_TRUE(ConnectLocal(&client, server.Port()));
    char buffer[4];
    EXPECT_EQ(-1, client.RecvAll(buffer, sizeof buffer));
}

TEST_F(FswSocketTest, ConnectToAPortNobodyListensOnFailsAndLeavesTheSocketClosed) {
    uint16_t port;
    {
        FakeServer gone;
        port = gone.Port();
    }
    FswSocket client;
    EXPECT_FALSE(client.Connect("127.0.0.1", port));
    EXPECT_EQ(M_INVALID_SOCKET, client.handle);
}

// Without its own bound the connect would wait for the system's time-out, minutes.
TEST_F(FswSocketTest, ConnectGivesUpOnAPeerThatNeverAnswers) {
    BlackHoleServer silent;
    ASSERT_NE(0, silent.Port());
    FswSocket client;
    EXPECT_FALSE(client.Connect("127.0.0.1", silent.Port()));
    EXPECT_EQ(M_INVALID_SOCKET, client.handle);
}

TEST_F(FswSocketTest, ConnectResolvesAHostNameToItsIPv4Address) {
    FakeServer server;
    server.Serve(1, "");
    FswSocket client;
    ASSERT_TRUE(client.Connect("localhost", server.Port()));
    EXPECT_EQ(MInetAddr("127.0.0.1"), client.address.v4.sin_addr.s_addr);
    EXPECT_EQ(1, client.SendAll("x", 1));
    EXPECT_EQ("x", server.Received());
}

// The resolver's order is followed: an address that refuses gives way to the next, and
// a family asked for leaves the other out.
TEST_F(FswSocketTest, TheAddressesOfANameAreTriedInTheResolversOrder) {
    FakeServer server;  // on 127.0.0.1 only: ::1 refuses
    FixedResolver resolver({"::1", "127.0.0.1"});
    server.Serve(1, "");
    FswSocket client;
    ASSERT_TRUE(client.Connect("both.test", server.Port()));
    EXPECT_EQ(AF_INET, client.address.Family());
    EXPECT_EQ(1, client.SendAll("x", 1));
    EXPECT_EQ("x", server.Received());

    FswSocket sixOnly;
    sixOnly.UseFamily(M_FAMILY_IPV6);
    EXPECT_EQ(SOCKET_FAILED,
              sixOnly.ConnectBefore("both.test", server.Port(),
                                    std::chrono::steady_clock::now() + std::chrono::seconds(5)));
    EXPECT_EQ(M_INVALID_SOCKET, sixOnly.handle);
}

TEST_F(FswSocketTest, ALiteralAddressOfTheOtherFamilyThanTheOneAskedForFails) {
    FakeServer server;
    const struct {
        const char* host;
        MAddressFamily family;
    } cases[] = {{"127.0.0.1", M_FAMILY_IPV6}, {"::1", M_FAMILY_IPV4}, {"[::1]", M_FAMILY_IPV4}};
    for (const auto& c : cases) {
        FswSocket client;
        client.UseFamily(c.family);
        EXPECT_EQ(SOCKET_FAILED,
                  client.ConnectBefore(c.host, server.Port(),
                                       std::chrono::steady_clock::now() + std::chrono::seconds(5)))
            << c.host;
    }
}

TEST_F(FswSocketTest, ANameThatDoesNotResolveFailsAndLeavesTheSocketClosed) {
    FswSocket client;
    EXPECT_FALSE(client.Connect("no-such-host.invalid", 50801));
    EXPECT_EQ(M_INVALID_SOCKET, client.handle);
}

TEST_F(FswSocketTest, ConnectAgainClosesTheFirstConnection) {
    FakeServer first;
    first.Serve(100, "");
    FakeServer second;
    second.Serve(1, "");
    FswSocket client;
    ASSERT_TRUE(ConnectLocal(&client, first.Port()));
    ASSERT_TRUE(ConnectLocal(&client, second.Port()));
    EXPECT_EQ("", first.Received()) << "the first peer saw its connection end";
    EXPECT_EQ(1, client.SendAll("y", 1));
    EXPECT_EQ("y", second.Received());
}

}  // namespace
