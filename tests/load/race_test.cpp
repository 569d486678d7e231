// Races inside one process: the command server, the allowed peer list and the
// event log under many simultaneous callers, with programs recorded instead
// of started. Meant above all for the ThreadSanitizer build, which fails the
// run on any report; the checks below also hold in every other build.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/lang.h"
#include "common/scramble.h"
#include "qslx/command_server.h"
#include "qslx/event_log.h"
#include "qslx/peers.h"
#include "tests/load/daemon_harness.h"

namespace {

// A directory for the event log, with the test language file in force.
class Scratch : public TTempDir {
 public:
  Scratch() : TTempDir("vmrace") {
    EXPECT_TRUE(WriteFile(Path("test.lng"), kTestLanguage));
    SetLanguageFilePath(Path("test.lng"));
  }
  std::string Path(const std::string& name) const { return Sub(name); }
};

TEST(Races, CommandServerPeerListAndLogUnderManyCallers) {
  Scratch scratch;
  TQsSetupData setup;
  setup.Addresses = {"127.0.0.1", "LocalHost", "127.0.0.3"};
  setup.ScriptShutdown = "/s/shutdown";
  setup.ScriptMessage = "/s/message";
  setup.ScriptCustom_2 = "/s/custom2";
  TQsAllowedPeers peers;
  TQsEventLog log(scratch.Path("qs_log.txt"), true, 100000000);
  std::mutex started_mutex;
  std::multiset<std::string> started;
  TQshTcpServer server(setup, &peers, &log, [&](const std::string& path, const std::string& arg) {
    std::lock_guard<std::mutex> lock(started_mutex);
    started.insert(path + " " + arg);
  });
  ASSERT_EQ(server.Start(kListenPort), 0);

  // Whoever reads the list while connections rebuild it sees it whole.
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (!done) {
      const TTextList entries = peers.Entries();
      if (!entries.empty() && entries != TTextList{"127.0.0.1", "127.0.0.1", "127.0.0.3"}) ++torn;
      if (peers.IndexOf("127.0.0.1") > 0) ++torn;
    }
  });

  constexpr int kCallers = 32;
  constexpr int kOrdersEach = 30;
  std::vector<std::thread> callers;
  std::atomic<int> refused{0}, messages{0}, customs{0};
  for (int c = 0; c < kCallers; ++c) {
    callers.emplace_back([&, c] {
      for (int i = 0; i < kOrdersEach; ++i) {
        const int n = c * kOrdersEach + i;
        if (n % 3 == 2) {
          EXPECT_EQ(GiveOrder(MessageOrder("x"), kRefused).greeting, "<|KO|>");
          ++refused;
        } else if (n % 5 == 0) {
          EXPECT_EQ(GiveOrder(Scramble("<|1|3|>")).greeting, "<|ok|>");
          ++customs;
        } else {
          EXPECT_EQ(GiveOrder(MessageOrder("t" + std::to_string(n))).greeting, "<|ok|>");
          ++messages;
        }
      }
    });
  }
  for (std::thread& caller : callers) caller.join();
  done = true;
  reader.join();
  server.Stop();

  EXPECT_EQ(torn, 0) << "a reader saw a half-built peer list";
  EXPECT_EQ(started.size(), static_cast<size_t>(messages + customs));
  EXPECT_EQ(started.count("/s/custom2 "), static_cast<size_t>(customs.load()));
  for (int n = 0; n < kCallers * kOrdersEach; ++n) {
    if (n % 3 != 2 && n % 5 != 0) {
      EXPECT_EQ(started.count("/s/message \"t" + std::to_string(n) + "\""), 1u) << n;
    }
  }
  const auto lines = LinesOf(ReadFile(scratch.Path("qs_log.txt")));
  EXPECT_EQ(CountEvents(lines, "MESSAGE by 127.0.0.1"), messages.load());
  EXPECT_EQ(CountEvents(lines, "CUSTOM2 by 127.0.0.1"), customs.load());
  EXPECT_EQ(CountEvents(lines, "/s/custom2"), customs.load());
  EXPECT_EQ(CountEvents(lines, "REFUSED 127.0.0.2"), refused.load());
  EXPECT_EQ(lines.size(), static_cast<size_t>(messages + 2 * customs + refused));
}

TEST(Races, LogRestartsAmongConcurrentWritersKeepEveryLineWhole) {
  Scratch scratch;
  constexpr int kLimit = 2000;
  TQsEventLog log(scratch.Path("qs_log.txt"), true, kLimit);
  constexpr int kWriters = 16;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (int i = 0; i < 200; ++i) {
        log.WriteLine("writer " + std::to_string(w) + " line " + std::to_string(i));
      }
    });
  }
  for (std::thread& writer : writers) writer.join();

  const std::string text = ReadFile(scratch.Path("qs_log.txt"));
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  EXPECT_LT(text.size(), static_cast<size_t>(kLimit + 64)) << "the file was not restarted";
  for (const std::string& line : LinesOf(text)) {
    ASSERT_TRUE(IsLogLine(line)) << line;
    int w = -1, i = -1;
    char tail = 0;
    EXPECT_EQ(sscanf(line.c_str() + 21, "writer %d line %d%c", &w, &i, &tail), 2) << line;
  }
}

TEST(Races, StoppingWithOpenConnectionsJoinsEveryWorker) {
  Scratch scratch;
  TQsSetupData setup;
  setup.Addresses = {"127.0.0.1"};
  setup.ScriptMessage = "/s/message";
  TQsAllowedPeers peers;
  TQsEventLog log(scratch.Path("qs_log.txt"), true, 100000000);
  std::atomic<int> started{0};
  auto server = std::make_unique<TQshTcpServer>(
      setup, &peers, &log, [&](const std::string&, const std::string&) { ++started; });
  ASSERT_EQ(server->Start(kListenPort), 0);

  std::vector<TTcpConnection> silent(50);
  for (TTcpConnection& connection : silent) {
    int error = 0;
    ASSERT_TRUE(TcpConnect(kAllowed, kListenPort, 5000, &connection, &error));
    std::string greeting;
    ASSERT_EQ(connection.ReadLine(&greeting, 4096, 5000), TReadStatus::kLine);
  }
  std::thread busy([&] {
    for (int i = 0; i < 50; ++i) GiveOrder(MessageOrder("late" + std::to_string(i)), "", 2000);
  });
  const int64_t start = NowMs();
  server->Stop();
  EXPECT_LE(NowMs() - start, 3000) << "stopping waited for silent callers";
  busy.join();
  server.reset();
  std::string nothing;
  for (TTcpConnection& connection : silent) {
    const TReadStatus status = connection.ReadLine(&nothing, 4096, 2000);
    EXPECT_TRUE(status == TReadStatus::kClosed || status == TReadStatus::kError);
  }
}

}  // namespace
