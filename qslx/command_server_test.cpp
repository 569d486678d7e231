#include "qslx/command_server.h"

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "common/scramble.h"
#include "gtest/gtest.h"

namespace {

// Events and started programs, recorded from the server's threads.
struct Recorder : TQsEventSink {
  void WriteEvent(const std::string& key, const TTextList& params) override {
    std::string line = key;
    for (const auto& p : params) line += "|" + p;
    Add(line);
  }
  // The name lookups' lines come when their round ends: kept apart.
  void WriteLine(const std::string& text) override {
    if (text.rfind("Master server ", 0) == 0) {
      std::lock_guard<std::mutex> lock(mutex);
      names.push_back(text);
      return;
    }
    Add("line " + text);
  }
  void Add(const std::string& entry) {
    std::lock_guard<std::mutex> lock(mutex);
    entries.push_back(entry);
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex);
    entries.clear();
  }
  std::vector<std::string> Entries() {
    std::lock_guard<std::mutex> lock(mutex);
    return entries;
  }
  // Waits until `count` entries are there (or a few seconds have passed).
  std::vector<std::string> WaitFor(size_t count) {
    for (int i = 0; i < 300 && Entries().size() < count; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return Entries();
  }
  std::mutex mutex;
  std::vector<std::string> entries;
  std::vector<std::string> names;
};

class CommandServerTest : public ::testing::Test {
 protected:
  CommandServerTest() {
    setup.Addresses = {"unknown-name", "localhost", "master-b"};
    setup.ScriptShutdown = "/s/shutdown.sh";
    setup.ScriptMessage = "/s/message.sh";
    setup.ScriptCustom_2 = "/s/custom2.sh";
  }
  void Start(int read_timeout_ms = 5000) {
    auto resolve = [](const std::string& host) -> std::string {
      if (host == "master-b") return "127.0.0.3";
      if (host == "unknown-name") return "";
      return SystemResolve(host);
    };
    auto start = [this](const std::string& path, const std::string& argument) {
      if (before_start) before_start();
      log.Add("start " + path + " [" + argument + "]");
    };
    // The check runs on the server's threads while the test changes its
    // answers, so both sides take the lock.
    auto check = [this](const TTcpConnection& c) {
      std::lock_guard<std::mutex> lock(check_mutex);
      if (c.PeerAddress() == gone) return TQsCaller::kGone;
      return c.PeerAddress() == untrusted ? TQsCaller::kNotRoot : TQsCaller::kTrusted;
    };
    server.reset(new TQshTcpServer(setup, &peers, &log, start, resolve, read_timeout_ms, check));
    ASSERT_EQ(0, server->Start(0));
  }
  // Connects from `from` and returns the descrambled greeting.
  std::string Connect(TTcpConnection* c, const std::string& from = "127.0.0.1") {
    int error = 0;
    EXPECT_TRUE(TcpConnect("127.0.0.1", server->BoundPort(), 2000, c, &error, from)) << error;
    std::string line;
    if (c->ReadLine(&line, 100, 2000) != TReadStatus::kLine) return "(none)";
    return Descramble(line);
  }
  // Sends one scrambled order from `from` and waits for the server to close.
  std::string Order(const std::string& frame, const std::string& from = "127.0.0.1") {
    TTcpConnection c;
    std::string greeting = Connect(&c, from);
    c.WriteLine(Scramble(frame));
    std::string rest;
    EXPECT_EQ(TReadStatus::kClosed, c.ReadLine(&rest, 100, 3000));
    return greeting;
  }

  TQsSetupData setup;
  TQsAllowedPeers peers;
  std::mutex check_mutex;
  std::string untrusted;  // the caller address the caller check refuses
  std::string gone;       // the caller address the check finds gone
  void SetGone(const std::string& address) {
    std::lock_guard<std::mutex> lock(check_mutex);
    gone = address;
  }
  Recorder log;
  std::function<void()> before_start;  // runs on the worker as a script starts
  std::unique_ptr<TQshTcpServer> server;
};

TEST_F(CommandServerTest, AllowedMasterIsGreetedAndItsOrderCarriedOut) {
  Start();
  EXPECT_EQ("<|ok|>", Order("<|1|0|>"));
  server->Stop();
  EXPECT_EQ((std::vector<std::string>{"start /s/shutdown.sh []", "LogShutdown|localhost"}),
            log.Entries());
}

// The worker starts the script only after the caller has reset the
// connection, so the event is logged from a socket that is already gone.
TEST_F(CommandServerTest, CallerThatResetsRightAfterItsOrderIsStillLogged) {
  struct Case {
    std::string frame;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"<|1|0|>", {"start /s/shutdown.sh []", "LogShutdown|localhost"}},
      {"<|7|1|Low battery|>", {"start /s/message.sh [\"Low battery\"]", "LogMessage|localhost"}},
  };
  std::atomic<int> resets{0};
  int starts = 0;
  before_start = [&resets, &starts] {
    ++starts;
    for (int i = 0; i < 3000 && resets < starts; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  Start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frame);
    log.Clear();
    TTcpConnection caller;
    ASSERT_EQ("<|ok|>", Connect(&caller));
    ASSERT_TRUE(caller.WriteLine(Scramble(c.frame)));
    linger abort_on_close = {1, 0};
    ASSERT_EQ(
        0, setsockopt(caller.fd(), SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close));
    caller.Close();
    ++resets;
    EXPECT_EQ(c.expected, log.WaitFor(c.expected.size()));
  }
  server->Stop();
}

TEST_F(CommandServerTest, ConfiguredNameOfTheCallerIsLogged) {
  Start();
  EXPECT_EQ("<|ok|>", Order("<|7|1|Power is failing|>", "127.0.0.3"));
  server->Stop();
  EXPECT_EQ((std::vector<std::string>{"start /s/message.sh [\"Power is failing\"]",
                                      "LogMessage|master-b"}),
            log.Entries());
  EXPECT_EQ((TTextList{"", "127.0.0.1", "127.0.0.3"}), peers.Entries());
}

TEST_F(CommandServerTest, StrangerIsRefusedWithoutReadingItsOrder) {
  Start();
  EXPECT_EQ("<|KO|>", Order("<|1|0|>", "127.0.0.9"));
  server->Stop();
  EXPECT_EQ((std::vector<std::string>{"LogNotExecuted|127.0.0.9"}), log.Entries());
}

TEST_F(CommandServerTest, CallerFailingTheCheckIsRefusedLikeAStranger) {
  untrusted = "127.0.0.3";
  gone = "127.0.0.1";
  Start();
  TTcpConnection c;
  EXPECT_EQ("(none)", Connect(&c)) << "a caller found gone gets no answer and no line";
  SetGone("");
  EXPECT_EQ("<|KO|>", Order("<|1|0|>", "127.0.0.3"));
  EXPECT_EQ("<|ok|>", Order("<|1|0|>"));
  server->Stop();
  EXPECT_EQ((std::vector<std::string>{"LogNotExecuted|127.0.0.3", "start /s/shutdown.sh []",
                                      "LogShutdown|localhost"}),
            log.Entries());
}

TEST_F(CommandServerTest, NoResolvableMasterRefusesEveryone) {
  setup.Addresses = {"unknown-name"};
  Start();
  EXPECT_EQ("<|KO|>", Order("<|1|0|>"));
  server->Stop();
  EXPECT_EQ((std::vector<std::string>{"LogNotExecuted|127.0.0.1"}), log.Entries());
}

TEST_F(CommandServerTest, SecondCustomCommandLogsItsPathFirst) {
  Start();
  Order("<|1|3|>");
  // The settings change only while no worker can read them; a closed socket
  // orders nothing for the race detector.
  server->Stop();
  setup.ScriptCustom_2.clear();
  Start();
  Order("<|1|3|>");
  server->Stop();
  EXPECT_EQ((std::vector<std::string>{"line /s/custom2.sh", "start /s/custom2.sh []",
                                      "LogCustom_2|localhost", "line ", "LogCustom_2|localhost"}),
            log.Entries());
}

TEST_F(CommandServerTest, BadRequestsAreLoggedAsUnknownAndRunNothing) {
  Start();
  TTcpConnection plain;
  EXPECT_EQ("<|ok|>", Connect(&plain));
  plain.WriteLine("<|1|0|>");
  std::string rest;
  EXPECT_EQ(TReadStatus::kClosed, plain.ReadLine(&rest, 100, 3000));
  Order("<|1|1||>");
  Order("<|1|9|>");
  server->Stop();
  EXPECT_EQ((std::vector<std::string>{"LogUnknown|localhost", "LogUnknown|localhost",
                                      "LogUnknown|localhost"}),
            log.Entries());
}

TEST_F(CommandServerTest, OverlongRequestIsRefusedAndTheServerGoesOn) {
  Start();
  TTcpConnection c;
  EXPECT_EQ("<|ok|>", Connect(&c));
  std::string huge(kMaxRequestLine * 4, 'A');
  send(c.fd(), huge.data(), huge.size(), MSG_NOSIGNAL);
  std::string rest;
  EXPECT_NE(TReadStatus::kLine, c.ReadLine(&rest, 100, 3000));
  EXPECT_EQ("<|ok|>", Order("<|1|2|>"));
  server->Stop();
  EXPECT_EQ((std::vector<std::string>{"LogUnknown|localhost", "LogCustom_1|localhost"}),
            log.Entries());
}

TEST_F(CommandServerTest, SilentOrVanishingMastersCauseNoEvent) {
  Start(300);
  TTcpConnection gone;
  EXPECT_EQ("<|ok|>", Connect(&gone));
  gone.Close();

  // Timed from before the connection, as the server times it from its accept.
  auto begin = std::chrono::steady_clock::now();
  TTcpConnection silent;
  EXPECT_EQ("<|ok|>", Connect(&silent));
  std::string rest;
  EXPECT_EQ(TReadStatus::kClosed, silent.ReadLine(&rest, 100, 5000));
  auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - begin)
                    .count();
  EXPECT_GE(waited, 250);
  EXPECT_LT(waited, 3000);
  server->Stop();
  EXPECT_TRUE(log.Entries().empty());
}

TEST_F(CommandServerTest, ParallelOrdersAreEachCarriedOutOnce) {
  constexpr int kCallers = 40;
  Start();
  std::vector<std::thread> callers;
  for (int i = 0; i < kCallers; ++i) {
    callers.emplace_back([this, i] { Order("<|" + std::to_string(i) + "|2|>", "127.0.0.3"); });
  }
  for (auto& t : callers) t.join();
  server->Stop();
  auto entries = log.Entries();
  EXPECT_EQ(static_cast<size_t>(kCallers),
            std::count(entries.begin(), entries.end(), "LogCustom_1|master-b"));
  EXPECT_EQ(static_cast<size_t>(kCallers), entries.size());
}

TEST_F(CommandServerTest, StopEndsOpenConnectionsAndDetachesTheHandlers) {
  Start(-1);
  TTcpConnection idle;
  EXPECT_EQ("<|ok|>", Connect(&idle));
  server->Stop();
  std::string rest;
  EXPECT_EQ(TReadStatus::kClosed, idle.ReadLine(&rest, 100, 2000));
  EXPECT_FALSE(server->Active());
  EXPECT_TRUE(log.Entries().empty());
}

}  // namespace
