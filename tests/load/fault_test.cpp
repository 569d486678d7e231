// Faults around the real daemon: hostile callers, a data directory that is
// missing, read-only or full, scripts that are missing, not executable, slow
// or many, a master that never answers the alive check, and a message text
// full of shell syntax. After each the daemon must still serve orders.
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/scramble.h"
#include "common/tcp.h"
#include "tests/load/daemon_harness.h"

namespace {

using Config = std::map<std::string, std::string>;

// A greeted connection on which a test does something a master would not.
TTcpConnection Greeted() {
  TTcpConnection connection;
  int error = 0;
  EXPECT_TRUE(TcpConnect(kAllowed, kListenPort, 5000, &connection, &error));
  std::string greeting;
  EXPECT_EQ(connection.ReadLine(&greeting, 4096, 5000), TReadStatus::kLine);
  EXPECT_EQ(Descramble(greeting), "<|ok|>");
  return connection;
}

// True when the daemon ends the connection within `timeout_ms`.
bool EndsWithin(TTcpConnection* connection, int timeout_ms) {
  std::string line;
  TReadStatus status;
  do {
    status = connection->ReadLine(&line, 1 << 20, timeout_ms);
  } while (status == TReadStatus::kLine);
  return status == TReadStatus::kClosed || status == TReadStatus::kError;
}

void SendRaw(TTcpConnection* connection, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        send(connection->fd(), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the daemon may refuse the rest
    done += static_cast<size_t>(n);
  }
}

// One real order after a fault: served, and its script ran.
void ExpectStillServing(TDaemonUnderTest& daemon, const std::string& text) {
  const size_t before = daemon.Records().size();
  const int64_t start = NowMs();
  const TExchange order = GiveOrder(MessageOrder(text));
  EXPECT_EQ(order.greeting, "<|ok|>") << "after " << text;
  EXPECT_TRUE(order.closed);
  // Held up by the fault, it would take 5 s or more: a slow script, a read's time limit.
  EXPECT_LE(NowMs() - start, 1000 * kSlowdown) << text;
  EXPECT_TRUE(WaitUntil([&] { return daemon.Records().size() == before + 1; }, 5000)) << text;
  EXPECT_EQ(daemon.Records().back(), "1 \"" + text + "\"");
}

TEST(Faults, HostileRequestsLeaveTheDaemonServing) {
  TDaemonUnderTest daemon;
  ASSERT_TRUE(daemon.Start()) << daemon.Output();

  {
    SCOPED_TRACE("a 1 MiB line without line feed");
    TTcpConnection connection = Greeted();
    SendRaw(&connection, std::string(1 << 20, 'A'));
    EXPECT_TRUE(EndsWithin(&connection, 5000)) << "an endless line holds its worker";
  }
  ExpectStillServing(daemon, "after-long-line");

  std::mt19937 random(20261208);
  std::string noise;
  for (int i = 0; i < 300; ++i) {
    char c = static_cast<char>(random() & 0xff);
    noise += c == '\n' ? ' ' : c;
  }
  const std::string order = Scramble("<|1|0|>");
  const std::vector<std::pair<std::string, std::string>> lines = {
      {"random bytes", noise},
      {"pairs that are not hexadecimal", "ZZGG<|1|0|>QQ"},
      {"an odd length that cuts the frame", order.substr(0, order.size() - 1)},
      {"an empty line", ""},
      {"a request sent without scrambling", "<|1|0|>"},
  };
  for (const auto& [what, line] : lines) {
    SCOPED_TRACE(what);
    const TExchange exchange = GiveOrder(line);
    EXPECT_EQ(exchange.greeting, "<|ok|>");
    EXPECT_TRUE(exchange.closed);
  }
  {
    SCOPED_TRACE("half-closed after the greeting");
    TTcpConnection connection = Greeted();
    shutdown(connection.fd(), SHUT_WR);
    EXPECT_TRUE(EndsWithin(&connection, 5000));
  }
  {
    SCOPED_TRACE("reset right after the greeting");
    TTcpConnection connection = Greeted();
    const linger hard{1, 0};
    setsockopt(connection.fd(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    connection.Close();
  }
  {
    SCOPED_TRACE("a reset before the greeting is read");
    TTcpConnection connection;
    int error = 0;
    ASSERT_TRUE(TcpConnect(kAllowed, kListenPort, 5000, &connection, &error));
    const linger hard{1, 0};
    setsockopt(connection.fd(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    connection.Close();
  }
  ExpectStillServing(daemon, "after-hostile");

  // A trailing odd digit is ignored: the order is carried out.
  EXPECT_EQ(GiveOrder(MessageOrder("odd-tail") + "7").greeting, "<|ok|>");
  EXPECT_TRUE(WaitUntil([&] { return daemon.Records().back() == "1 \"odd-tail\""; }, 5000));

  EXPECT_EQ(daemon.Records().size(), 3u) << "a hostile request started a script";
  const auto log = daemon.LogLines();
  // The overlong line is an unreadable request too; the callers that sent no
  // line at all leave no event.
  EXPECT_EQ(CountEvents(log, "UNKNOWN by 127.0.0.1"), static_cast<int>(lines.size()) + 1);
  for (const std::string& line : log) EXPECT_TRUE(IsLogLine(line)) << line;
  EXPECT_TRUE(daemon.Running());
  EXPECT_TRUE(daemon.Stop());
}

TEST(Faults, MissingDataDirectoryLosesOnlyTheLogLines) {
  TDaemonUnderTest daemon;
  ASSERT_TRUE(daemon.Start()) << daemon.Output();
  ASSERT_EQ(system(("rm -rf '" + daemon.Path("data") + "'").c_str()), 0);

  ExpectStillServing(daemon, "no-data-dir");
  EXPECT_FALSE(FileExists(daemon.Path("data")));

  ASSERT_EQ(mkdir(daemon.Path("data").c_str(), 0755), 0);
  ExpectStillServing(daemon, "data-dir-back");
  EXPECT_TRUE(
      WaitUntil([&] { return CountEvents(daemon.LogLines(), MessageEvent(kAllowed)) == 1; }, 5000));
  EXPECT_EQ(daemon.LogLines().size(), 1u);
  EXPECT_TRUE(daemon.Stop());
}

TEST(Faults, ReadOnlyDataDirectoryLosesOnlyTheLogLines) {
  TDaemonUnderTest daemon;
  ASSERT_TRUE(daemon.Start()) << daemon.Output();
  const std::string data = daemon.Path("data");
  ASSERT_EQ(mount(data.c_str(), data.c_str(), nullptr, MS_BIND, nullptr), 0) << strerror(errno);
  ASSERT_EQ(mount(nullptr, data.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0)
      << strerror(errno);
  const auto before = daemon.LogLines();

  ExpectStillServing(daemon, "read-only");
  EXPECT_EQ(daemon.LogLines(), before);

  ASSERT_EQ(mount(nullptr, data.c_str(), nullptr, MS_REMOUNT | MS_BIND, nullptr), 0);
  ExpectStillServing(daemon, "writable-again");
  EXPECT_TRUE(
      WaitUntil([&] { return CountEvents(daemon.LogLines(), MessageEvent(kAllowed)) == 1; }, 5000));
  EXPECT_TRUE(daemon.Stop());
}

TEST(Faults, FullDataFileSystemLosesOnlyTheLogLinesAndRecovers) {
  TDaemonUnderTest daemon;
  ASSERT_TRUE(daemon.Start()) << daemon.Output();
  const std::string data = daemon.Path("data");
  ASSERT_EQ(mount("tmpfs", data.c_str(), "tmpfs", 0, "size=64k"), 0) << strerror(errno);
  {
    const int fd = open((data + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'f');
    while (write(fd, block.data(), block.size()) > 0) {
    }
    EXPECT_EQ(errno, ENOSPC);
    close(fd);
  }

  ExpectStillServing(daemon, "disk-full-1");
  ExpectStillServing(daemon, "disk-full-2");
  EXPECT_EQ(CountEvents(daemon.LogLines(), MessageEvent(kAllowed)), 0);

  ASSERT_EQ(unlink((data + "/filler").c_str()), 0);
  ExpectStillServing(daemon, "space-back");
  EXPECT_TRUE(
      WaitUntil([&] { return CountEvents(daemon.LogLines(), MessageEvent(kAllowed)) == 1; }, 5000));
  for (const std::string& line : daemon.LogLines()) {
    EXPECT_TRUE(IsLogLine(line)) << "a torn line from the full disk: " << line;
  }
  EXPECT_TRUE(daemon.Stop());
}

TEST(Faults, MissingNotExecutableAndSlowScriptsAreLoggedAndServingGoesOn) {
  TDaemonUnderTest daemon({{"ScriptShutdown", "/nonexistent/shutdown.sh"},
                           {"ScriptCustom_1", "PLAIN"},
                           {"ScriptCustom_3", "SLOW"}});
  const std::string plain = daemon.Path("script/system/plain.sh");
  ASSERT_TRUE(
      WriteFile(plain, "#!/bin/sh\necho ran >> '" + daemon.Path("rec/plain.txt") + "'\n", 0644));
  const std::string slow = daemon.Path("script/system/slow.sh");
  ASSERT_TRUE(WriteFile(
      slow, "#!/bin/sh\nsleep 5\necho done >> '" + daemon.Path("rec/slow.txt") + "'\n", 0755));
  ASSERT_TRUE(WriteFile(
      daemon.Path("bin/qslx.cfg"),
      ReplaceAll(ReplaceAll(ReadFile(daemon.Path("bin/qslx.cfg")), "SLOW", slow), "PLAIN", plain)));
  ASSERT_TRUE(daemon.Start()) << daemon.Output();

  EXPECT_EQ(GiveOrder(Scramble("<|1|0|>")).greeting, "<|ok|>");
  EXPECT_EQ(GiveOrder(Scramble("<|1|2|>")).greeting, "<|ok|>");
  for (int i = 0; i < 5; ++i) EXPECT_EQ(GiveOrder(Scramble("<|1|4|>")).greeting, "<|ok|>");
  ExpectStillServing(daemon, "while-slow-scripts-run");

  const auto log = daemon.LogLines();
  EXPECT_EQ(CountEvents(log, "SHUTDOWN by 127.0.0.1"), 1);
  EXPECT_EQ(CountEvents(log, "CUSTOM1 by 127.0.0.1"), 1);
  EXPECT_EQ(CountEvents(log, "CUSTOM3 by 127.0.0.1"), 5);
  EXPECT_TRUE(
      WaitUntil([&] { return LinesOf(ReadFile(daemon.Path("rec/slow.txt"))).size() == 5; }, 10000));
  EXPECT_FALSE(FileExists(daemon.Path("rec/plain.txt")));
  EXPECT_TRUE(WaitUntil([&] { return daemon.ZombieChildren().empty(); }, 5000));
  EXPECT_TRUE(daemon.Stop());
}

TEST(Faults, TwoHundredScriptsEndingTogetherLeaveNoZombie) {
  TDaemonUnderTest daemon(Config{{"ScriptCustom_1", "WAITER"}});
  const std::string lock = daemon.Path("rec/lock");
  const std::string waiter = daemon.Path("script/system/waiter.sh");
  ASSERT_TRUE(WriteFile(waiter,
                        "#!/bin/sh\necho up >> '" + daemon.Path("rec/up.txt") +
                            "'\nexec flock -s '" + lock + "' true\n",
                        0755));
  ASSERT_TRUE(WriteFile(daemon.Path("bin/qslx.cfg"),
                        ReplaceAll(ReadFile(daemon.Path("bin/qslx.cfg")), "WAITER", waiter)));
  const int held = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  ASSERT_TRUE(daemon.Start()) << daemon.Output();

  constexpr int kScripts = 200;
  std::atomic<int> next{0};
  std::vector<std::thread> callers;
  for (int c = 0; c < 20; ++c) {
    callers.emplace_back([&] {
      while (next++ < kScripts) EXPECT_EQ(GiveOrder(Scramble("<|1|2|>")).greeting, "<|ok|>");
    });
  }
  for (std::thread& caller : callers) caller.join();
  ASSERT_TRUE(WaitUntil(
      [&] { return LinesOf(ReadFile(daemon.Path("rec/up.txt"))).size() == kScripts; }, 30000));
  EXPECT_TRUE(daemon.ZombieChildren().empty());

  ASSERT_EQ(flock(held, LOCK_UN), 0);  // every waiter ends at this moment
  close(held);
  EXPECT_TRUE(
      WaitUntil([&] { return daemon.ZombieChildren().empty() && daemon.Children() == 0; }, 10000))
      << daemon.ZombieChildren().size() << " zombies left";
  EXPECT_EQ(CountEvents(daemon.LogLines(), "CUSTOM1 by 127.0.0.1"), kScripts);
  ExpectStillServing(daemon, "after-200");
  EXPECT_TRUE(daemon.Stop());
}

TEST(Faults, SilentMasterEndsTheAliveCheckWithinItsTimeLimit) {
  constexpr int kTimeOutSeconds = 2;
  constexpr uint16_t kAlivePort = 7100;
  TDaemonUnderTest daemon({{"AliveEnabled", "1"},
                           {"AliveFrequency", "10"},
                           {"AliveRetries", "1"},
                           {"AliveDelay", "1"},
                           {"AliveTimeOut", std::to_string(kTimeOutSeconds)},
                           {"AlivePort", std::to_string(kAlivePort)}});

  // A master that accepts and never says a word.
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(kAlivePort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 8), 0);
  std::atomic<int64_t> accepted_at{0};
  std::atomic<int> accepted_fd{-1};
  std::thread master([&] {
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    accepted_at = NowMs();
    accepted_fd = fd;
  });

  ASSERT_TRUE(daemon.Start()) << daemon.Output();
  const bool called = WaitUntil([&] { return accepted_at != 0; }, 15000);
  if (!called) shutdown(listener, SHUT_RDWR);
  master.join();
  ASSERT_TRUE(called) << "no alive check within 15 s";

  const std::string failed = "ALIVE KO 127.0.0.1 after 1 tries";
  int64_t failed_at = 0;
  ASSERT_TRUE(WaitUntil(
      [&] {
        if (CountEvents(daemon.LogLines(), failed) != 1) return false;
        failed_at = NowMs();
        return true;
      },
      kTimeOutSeconds * 1000 + 3000));
  // Room for a loaded machine, yet short of twice the time limit.
  EXPECT_LE(failed_at - accepted_at, kTimeOutSeconds * 1000 + (kSlowdown > 1 ? 1500 : 1000))
      << "the check waited past Alive.TimeOut";
  EXPECT_TRUE(WaitUntil([&] { return FileExists(daemon.tree().RecordPath("chkfail.sh")); }, 5000));

  // A sanitizer-built "qslx -s" starts slower and the daemon ends with its
  // leak check; a "-s" not heeded waits for the end of the 10 s pass, over
  // 7 s after the check.
  const int64_t stop = NowMs();
  EXPECT_TRUE(daemon.Stop());
  EXPECT_LE(NowMs() - stop, kStopWithinMs + (kSlowdown > 1 ? 2000 : 0))
      << "-s was not heeded after the check";
  close(accepted_fd);
  close(listener);
}

TEST(Faults, ShellSyntaxInAMessageArrivesAsOneLiteralArgument) {
  TDaemonUnderTest daemon;
  ASSERT_TRUE(daemon.Start()) << daemon.Output();
  const std::string trap = daemon.Path("rec/ran");
  const std::vector<std::string> texts = {
      "$(touch " + trap + "1)",
      "`touch " + trap + "2`",
      "x; touch " + trap + "3",
      "y && touch " + trap + "4",
      "$HOME ${PATH} 'q' \"dq\" \\ * ? ~",
      "z > " + trap + "5 < /dev/null &",
  };
  for (const std::string& text : texts) {
    EXPECT_EQ(GiveOrder(MessageOrder(text)).greeting, "<|ok|>") << text;
  }
  ASSERT_TRUE(WaitUntil([&] { return daemon.Records().size() == texts.size(); }, 5000));
  const auto records = daemon.Records();
  const std::multiset<std::string> got(records.begin(), records.end());
  for (const std::string& text : texts) EXPECT_EQ(got.count("1 \"" + text + "\""), 1u) << text;
  for (int i = 1; i <= 5; ++i) {
    EXPECT_FALSE(FileExists(trap + std::to_string(i))) << "the text ran as a command";
  }
  EXPECT_TRUE(daemon.Stop());
}

}  // namespace
