#include "platform/tcp_socket.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/fake_server.h"
#include "tests/support/mail_servers.h"

namespace korvo {
namespace {

using namespace std::chrono_literals;
using test::FakeServer;

TEST(TcpSocketTest, ConnectsByNameSendsAndReceivesUntilClose) {
    FakeServer server;
    server.Send("hello\r\n").Expect("ping").Send("pong\r\n").Close();
    server.Start();
    TcpSocket socket({2000ms, 2000ms});
    ASSERT_EQ(socket.Connect("localhost", server.port()), ConnectResult::kOk);
    std::string got;
    char buffer[64];
    while (got.find('\n') == std::string::npos) {
        long n = socket.Receive(buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        got.append(buffer, n);
    }
    EXPECT_EQ(got, "hello\r\n");
    EXPECT_TRUE(socket.SendAll("ping\r\n"));
    got.clear();
    for (long n; (n = socket.Receive(buffer, sizeof buffer)) > 0;) got.append(buffer, n);
    EXPECT_EQ(got, "pong\r\n");
    // The orderly close reads as a failed receive: nothing more will come.
    EXPECT_EQ(socket.Receive(buffer, sizeof buffer), -1);
    EXPECT_TRUE(server.Finish());
    EXPECT_EQ(server.received(), "ping\r\n");
    // Sending into a closed connection fails instead of killing the process with SIGPIPE.
    std::this_thread::sleep_for(50ms);
    std::string big(1 << 20, 'x');
    EXPECT_FALSE(socket.SendAll(big) && socket.SendAll(big));
}

TEST(TcpSocketTest, RefusedPortsFailToConnect) {
    TcpSocket socket({2000ms, 2000ms});
    uint16_t unused = test::FreeLoopbackPort();
    EXPECT_EQ(socket.Connect("127.0.0.1", unused), ConnectResult::kConnectFailed);
    EXPECT_FALSE(socket.isOpen());
    EXPECT_EQ(socket.Connect("127.0.0.1", 0), ConnectResult::kConnectFailed);
    EXPECT_EQ(socket.Connect("127.0.0.1", 70000), ConnectResult::kConnectFailed);
    char c;
    EXPECT_EQ(socket.Receive(&c, 1), -1);
}

TEST(TcpSocketTest, SilentServerTimesOut) {
    FakeServer server;
    server.Silence();
    server.Start();
    TcpSocket socket({2000ms, 300ms});
    ASSERT_EQ(socket.Connect("127.0.0.1", server.port()), ConnectResult::kOk);
    char buffer[16];
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(socket.Receive(buffer, sizeof buffer), -1);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 250ms);
    socket.Close();
    server.Finish();
}

TEST(TcpSocketTest, CancelFromAnotherThreadEndsABlockedReceive) {
    FakeServer server;
    server.Silence();
    server.Start();
    TcpSocket socket({2000ms, 20000ms});
    ASSERT_EQ(socket.Connect("127.0.0.1", server.port()), ConnectResult::kOk);
    std::thread canceller([&] {
        std::this_thread::sleep_for(200ms);
        socket.Cancel();
    });
    char buffer[16];
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(socket.Receive(buffer, sizeof buffer), -1);
    // Well before the receive time-out.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    canceller.join();
    EXPECT_TRUE(socket.cancelled());
    // A cancelled socket stays unusable.
    EXPECT_EQ(socket.Connect("127.0.0.1", server.port()), ConnectResult::kConnectFailed);
    EXPECT_FALSE(socket.SendAll("x"));
    socket.Close();
    server.Finish();
}

TEST(TcpSocketTest, APeerThatNeitherReadsNorAnswersCannotHoldTheSocket) {
    // A listener that never accepts: the kernel completes the connection, nobody reads.
    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);

    SocketTimeouts timeouts{2000ms, 20000ms};
    timeouts.send = 300ms;
    TcpSocket socket(timeouts);
    ASSERT_EQ(socket.Connect("127.0.0.1", ntohs(addr.sin_port)), ConnectResult::kOk);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(socket.SendAll(std::string(64 << 20, 'x')));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

    // A deadline cuts a receive short of its much longer time-out.
    start = std::chrono::steady_clock::now();
    char buffer[16];
    EXPECT_EQ(socket.Receive(buffer, sizeof buffer, start + 200ms), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    ::close(listener);
}

}  // namespace
}  // namespace korvo
