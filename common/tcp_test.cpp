#include "common/tcp.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/tcp_server.h"
#include "gtest/gtest.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A plain listening socket on 127.0.0.1 with a kernel-chosen port.
struct RawListener {
  explicit RawListener(int backlog = 16) {
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a));
    EXPECT_EQ(0, listen(fd, backlog));
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
  }
  ~RawListener() { close(fd); }
  TTcpConnection Accept() { return TTcpConnection(accept4(fd, nullptr, nullptr, SOCK_CLOEXEC)); }
  int fd;
  uint16_t port;
};

// A connected pair: `client` from TcpConnect, `server` the accepted end.
struct Pair {
  Pair() {
    int error = 0;
    EXPECT_TRUE(TcpConnect("127.0.0.1", listener.port, 2000, &client, &error)) << error;
    server = listener.Accept();
    EXPECT_TRUE(server.IsOpen());
  }
  void SendRaw(const std::string& bytes) {
    ASSERT_EQ(static_cast<ssize_t>(bytes.size()),
              send(client.fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL));
  }
  RawListener listener;
  TTcpConnection client;
  TTcpConnection server;
};

TEST(TcpLine, LineFeedEndsLineAndOneCarriageReturnIsDropped) {
  Pair p;
  p.SendRaw("first\r\nsecond\nthird\r\r\nin\rside\n");
  std::string line;
  ASSERT_EQ(TReadStatus::kLine, p.server.ReadLine(&line, 100, 1000));
  EXPECT_EQ("first", line);
  ASSERT_EQ(TReadStatus::kLine, p.server.ReadLine(&line, 100, 1000));
  EXPECT_EQ("second", line);
  ASSERT_EQ(TReadStatus::kLine, p.server.ReadLine(&line, 100, 1000));
  EXPECT_EQ("third\r", line);
  ASSERT_EQ(TReadStatus::kLine, p.server.ReadLine(&line, 100, 1000));
  EXPECT_EQ("in\rside", line);
}

TEST(TcpLine, LineArrivingInPiecesIsJoined) {
  Pair p;
  std::thread writer([&p] {
    for (const char* piece : {"ab", "cd\r", "\n"}) {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      send(p.client.fd(), piece, strlen(piece), MSG_NOSIGNAL);
    }
  });
  std::string line;
  EXPECT_EQ(TReadStatus::kLine, p.server.ReadLine(&line, 100, 2000));
  EXPECT_EQ("abcd", line);
  writer.join();
}

TEST(TcpLine, WriteLineEndsWithCarriageReturnLineFeed) {
  Pair p;
  ASSERT_TRUE(p.server.WriteLine("hello"));
  char buffer[16] = {};
  ssize_t n = recv(p.client.fd(), buffer, sizeof buffer, 0);
  EXPECT_EQ("hello\r\n", std::string(buffer, n > 0 ? n : 0));
}

TEST(TcpLine, LengthLimitAppliesToTheLineWithoutItsEnd) {
  Pair p;
  p.SendRaw(std::string(10, 'a') + "\r\n");
  std::string line;
  EXPECT_EQ(TReadStatus::kLine, p.server.ReadLine(&line, 10, 1000));
  EXPECT_EQ(10u, line.size());

  Pair q;
  q.SendRaw(std::string(11, 'b') + "\n");
  EXPECT_EQ(TReadStatus::kTooLong, q.server.ReadLine(&line, 10, 1000));
}

TEST(TcpLine, EndlessLineIsRefusedWithoutWaitingForItsEnd) {
  Pair p;
  p.SendRaw(std::string(5000, 'x'));
  std::string line;
  auto start = Clock::now();
  EXPECT_EQ(TReadStatus::kTooLong, p.server.ReadLine(&line, 4096, 5000));
  EXPECT_LT(MsSince(start), 2000);
  EXPECT_TRUE(line.empty());
}

TEST(TcpLine, ReadTimeLimitCoversSilenceAndUnfinishedLines) {
  Pair p;
  std::string line;
  auto start = Clock::now();
  EXPECT_EQ(TReadStatus::kTimeout, p.server.ReadLine(&line, 100, 200));
  int64_t elapsed = MsSince(start);
  EXPECT_GE(elapsed, 180);
  EXPECT_LT(elapsed, 1500);

  // Bytes that trickle in without a line end do not extend the limit.
  std::atomic<bool> done{false};
  std::thread trickler([&] {
    for (int i = 0; i < 20 && !done; ++i) {
      send(p.client.fd(), "z", 1, MSG_NOSIGNAL);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  start = Clock::now();
  EXPECT_EQ(TReadStatus::kTimeout, p.server.ReadLine(&line, 100, 300));
  EXPECT_LT(MsSince(start), 800);
  done = true;
  trickler.join();
}

TEST(TcpLine, PeerClosingBeforeLineEndIsClosed) {
  Pair p;
  p.SendRaw("half a line");
  p.client.Close();
  std::string line;
  EXPECT_EQ(TReadStatus::kClosed, p.server.ReadLine(&line, 100, 1000));

  Pair q;
  q.client.Close();
  EXPECT_EQ(TReadStatus::kClosed, q.server.ReadLine(&line, 100, 1000));
}

TEST(TcpLine, ClosedConnectionRefusesReadAndWrite) {
  TTcpConnection none;
  std::string line;
  EXPECT_FALSE(none.IsOpen());
  EXPECT_EQ(TReadStatus::kError, none.ReadLine(&line, 10, 10));
  EXPECT_FALSE(none.WriteLine("x"));
  EXPECT_EQ("", none.PeerAddress());
}

TEST(TcpConnect, PeerAddressIsTheBoundLocalAddress) {
  RawListener l;
  TTcpConnection client;
  int error = 0;
  ASSERT_TRUE(TcpConnect("localhost", l.port, 1000, &client, &error, "127.0.0.7")) << error;
  TTcpConnection server = l.Accept();
  EXPECT_EQ("127.0.0.7", server.PeerAddress());
  EXPECT_EQ("127.0.0.1", client.PeerAddress());
}

TEST(TcpConnect, RefusedAndUnresolvedFailWithTheirError) {
  uint16_t closed_port;
  {
    RawListener l;
    closed_port = l.port;
  }
  TTcpConnection client;
  int error = 0;
  auto start = Clock::now();
  EXPECT_FALSE(TcpConnect("127.0.0.1", closed_port, 2000, &client, &error));
  EXPECT_EQ(ECONNREFUSED, error);
  EXPECT_LT(MsSince(start), 1000);
  EXPECT_FALSE(client.IsOpen());

  EXPECT_FALSE(TcpConnect("", 1, 2000, &client, &error));
  EXPECT_EQ(kTcpNameUnknown, error);
  EXPECT_EQ("cannot resolve ", TcpConnectErrorText(error, ""));
  EXPECT_EQ("cannot resolve gone.lan (no answer in time)",
            TcpConnectErrorText(kTcpNameNoAnswer, "gone.lan"));
  EXPECT_EQ(std::strerror(ECONNREFUSED), TcpConnectErrorText(ECONNREFUSED, "x"));
}

TEST(TcpConnect, TimeLimitEndsAConnectThatIsNotAnswered) {
  // A listener with a full accept queue drops further handshakes, so their
  // connects hang until the limit.
  RawListener l(0);
  std::vector<TTcpConnection> queued;
  bool timed_out = false;
  for (int i = 0; i < 16 && !timed_out; ++i) {
    TTcpConnection c;
    int error = 0;
    auto start = Clock::now();
    if (TcpConnect("127.0.0.1", l.port, 300, &c, &error)) {
      queued.push_back(std::move(c));
      continue;
    }
    EXPECT_EQ(ETIMEDOUT, error);
    int64_t elapsed = MsSince(start);
    EXPECT_GE(elapsed, 250);
    EXPECT_LT(elapsed, 1500);
    timed_out = true;
  }
  EXPECT_TRUE(timed_out);
}

// A readable wake descriptor ends a read or a connect that would otherwise
// wait for seconds.
TEST(TcpWake, ReadableWakeFdEndsTheWaitsAtOnce) {
  int wake[2];
  ASSERT_EQ(0, pipe(wake));
  ASSERT_EQ(1, write(wake[1], "x", 1));
  Pair p;
  std::string line;
  auto start = Clock::now();
  EXPECT_EQ(TReadStatus::kError, p.server.ReadLine(&line, 100, 5000, wake[0]));
  p.SendRaw("ok\n");
  EXPECT_EQ(TReadStatus::kLine, p.server.ReadLine(&line, 100, 5000))
      << "the connection still works";

  RawListener full(0);
  std::vector<TTcpConnection> queued;
  for (int i = 0; i < 16; ++i) {
    TTcpConnection c;
    int error = 0;
    if (TcpConnect("127.0.0.1", full.port, 5000, &c, &error, "", wake[0])) {
      queued.push_back(std::move(c));
      continue;
    }
    EXPECT_EQ(EINTR, error);
    break;
  }
  EXPECT_LT(MsSince(start), 1500);
  close(wake[0]);
  close(wake[1]);
}

// Server fixture: an active server on a kernel-chosen loopback port.
class TcpServerTest : public ::testing::Test {
 protected:
  void Start() {
    server.SetDefaultPort(0);
    ASSERT_EQ(0, server.Activate());
    port = server.BoundPort();
    ASSERT_NE(0, port);
  }
  TTcpConnection Connect() {
    TTcpConnection c;
    int error = 0;
    EXPECT_TRUE(TcpConnect("127.0.0.1", port, 2000, &c, &error)) << error;
    return c;
  }
  TTcpServer server;
  uint16_t port = 0;
};

TEST_F(TcpServerTest, ConnectHandlerDecidesWhetherExecuteRuns) {
  std::atomic<int> executed{0};
  server.SetConnectHandler([](TTcpConnection& c) {
    c.WriteLine("greet");
    return c.PeerAddress() == "127.0.0.1";
  });
  server.SetExecuteHandler([&executed](TTcpConnection& c) {
    std::string line;
    if (c.ReadLine(&line, 100, 2000) == TReadStatus::kLine) c.WriteLine("got " + line);
    ++executed;
  });
  Start();

  TTcpConnection accepted = Connect();
  std::string line;
  ASSERT_EQ(TReadStatus::kLine, accepted.ReadLine(&line, 100, 2000));
  EXPECT_EQ("greet", line);
  accepted.WriteLine("order");
  ASSERT_EQ(TReadStatus::kLine, accepted.ReadLine(&line, 100, 2000));
  EXPECT_EQ("got order", line);
  EXPECT_EQ(TReadStatus::kClosed, accepted.ReadLine(&line, 100, 2000));

  TTcpConnection refused;
  int error = 0;
  ASSERT_TRUE(TcpConnect("127.0.0.1", port, 2000, &refused, &error, "127.0.0.2"));
  ASSERT_EQ(TReadStatus::kLine, refused.ReadLine(&line, 100, 2000));
  EXPECT_EQ(TReadStatus::kClosed, refused.ReadLine(&line, 100, 2000));
  server.Deactivate();
  EXPECT_EQ(1, executed);
}

TEST_F(TcpServerTest, ThrowingHandlerEndsOnlyItsConnection) {
  std::atomic<int> calls{0};
  server.SetConnectHandler([&calls](TTcpConnection& c) -> bool {
    if (++calls == 1) throw std::runtime_error("first");
    c.WriteLine("fine");
    return false;
  });
  Start();
  std::string line;
  TTcpConnection first = Connect();
  EXPECT_EQ(TReadStatus::kClosed, first.ReadLine(&line, 100, 2000));
  TTcpConnection second = Connect();
  ASSERT_EQ(TReadStatus::kLine, second.ReadLine(&line, 100, 2000));
  EXPECT_EQ("fine", line);
}

TEST_F(TcpServerTest, WorkersBlockTheDaemonSignals) {
  sigset_t daemon_signals;
  sigemptyset(&daemon_signals);
  for (int s : {SIGHUP, SIGUSR1, SIGTERM, SIGCHLD}) sigaddset(&daemon_signals, s);
  server.SetBlockedSignals(daemon_signals);
  std::atomic<int> blocked{-1};
  server.SetConnectHandler([&blocked](TTcpConnection&) {
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    blocked = sigismember(&mask, SIGHUP) && sigismember(&mask, SIGUSR1) &&
              sigismember(&mask, SIGTERM) && sigismember(&mask, SIGCHLD);
    return false;
  });
  Start();
  TTcpConnection c = Connect();
  std::string line;
  c.ReadLine(&line, 10, 2000);
  server.Deactivate();
  EXPECT_EQ(1, blocked);
  sigset_t mine;
  pthread_sigmask(SIG_SETMASK, nullptr, &mine);
  EXPECT_FALSE(sigismember(&mine, SIGTERM));
}

TEST_F(TcpServerTest, PortInUseIsReportedWithItsErrno) {
  RawListener other;
  TTcpServer second;
  second.SetDefaultPort(other.port);
  EXPECT_EQ(EADDRINUSE, second.Activate());
  EXPECT_FALSE(second.Active());
  EXPECT_EQ(0, second.BoundPort());
}

TEST_F(TcpServerTest, DeactivateEndsIdleConnectionsAndJoinsEveryWorker) {
  constexpr int kConnections = 50;
  std::atomic<int> running{0};
  std::atomic<int> finished{0};
  server.SetConnectHandler([](TTcpConnection& c) { return c.WriteLine("hi"); });
  server.SetExecuteHandler([&](TTcpConnection& c) {
    ++running;
    std::string line;
    c.ReadLine(&line, 100, -1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    --running;
    ++finished;
  });
  Start();
  std::vector<TTcpConnection> clients;
  std::string line;
  for (int i = 0; i < kConnections; ++i) {
    clients.push_back(Connect());
    ASSERT_EQ(TReadStatus::kLine, clients.back().ReadLine(&line, 100, 2000));
  }
  for (int i = 0; i < 100 && running < kConnections; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(kConnections, running);

  auto start = Clock::now();
  server.Deactivate();
  EXPECT_LT(MsSince(start), 3000);
  EXPECT_EQ(0, running);
  EXPECT_EQ(kConnections, finished);
  EXPECT_FALSE(server.Active());
  for (auto& c : clients) EXPECT_EQ(TReadStatus::kClosed, c.ReadLine(&line, 100, 1000));

  TTcpConnection late;
  int error = 0;
  EXPECT_FALSE(TcpConnect("127.0.0.1", port, 500, &late, &error));
}

TEST_F(TcpServerTest, ServesABurstOfConnectionsAndCanBeRestarted) {
  constexpr int kClients = 8;
  constexpr int kEach = 40;
  std::atomic<int> served{0};
  server.SetConnectHandler([&served](TTcpConnection& c) {
    ++served;
    return c.WriteLine("ok");
  });
  Start();
  std::atomic<int> greeted{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kClients; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kEach; ++i) {
        TTcpConnection c;
        int error = 0;
        std::string line;
        if (TcpConnect("127.0.0.1", port, 2000, &c, &error) &&
            c.ReadLine(&line, 10, 2000) == TReadStatus::kLine && line == "ok") {
          ++greeted;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(kClients * kEach, greeted);
  server.Deactivate();
  EXPECT_EQ(kClients * kEach, served);

  ASSERT_EQ(0, server.Activate());
  port = server.BoundPort();
  TTcpConnection again = Connect();
  std::string line;
  EXPECT_EQ(TReadStatus::kLine, again.ReadLine(&line, 10, 2000));
}

}  // namespace
