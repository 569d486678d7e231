#include "wksrv/alive_service.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <vector>

#include "common/scramble.h"
#include "common/tcp.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class AliveService : public ::testing::Test {
 protected:
  void Start(TAliveOptions options = {}) {
    options.bind = "127.0.0.1";
    options.report = [this](const std::string& line) {
      std::lock_guard<std::mutex> lock(mutex_);
      reports_.push_back(line);
    };
    ASSERT_EQ(service_.Start(options), 0);
    port_ = service_.BoundPort();
    ASSERT_NE(port_, 0);
  }
  TTcpConnection Connect() {
    TTcpConnection connection;
    int error = 0;
    EXPECT_TRUE(TcpConnect("127.0.0.1", port_, 2000, &connection, &error)) << error;
    return connection;
  }
  // Sends `request` scrambled and returns the descrambled answer, or how
  // the read ended.
  std::string Ask(TTcpConnection* connection, const std::string& request, int wait_ms = 2000) {
    EXPECT_TRUE(connection->WriteLine(Scramble(request)));
    std::string line;
    switch (connection->ReadLine(&line, 4096, wait_ms)) {
      case TReadStatus::kLine:
        return Descramble(line);
      case TReadStatus::kClosed:
        return "(closed)";
      case TReadStatus::kTimeout:
        return "(timeout)";
      default:
        return "(error)";
    }
  }
  std::vector<std::string> Reports() {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
  }

  TAliveService service_;
  uint16_t port_ = 0;
  std::mutex mutex_;
  std::vector<std::string> reports_;
};

TEST_F(AliveService, AnswersEachAliveCheckAndNothingElse) {
  ASSERT_NO_FATAL_FAILURE(Start());
  struct Case {
    std::string request;
    std::string answer;
  };
  const std::vector<Case> cases = {
      {"<|5|>", "<|5|Vantrel Wattkeep|>"},
      {"<| 5 |>", "<|5|Vantrel Wattkeep|>"},
      {"<|6|>", "(closed)"},
      {"<|5|x|>", "(closed)"},
      {"<5>", "(closed)"},
      {"", "(closed)"},
  };
  for (const Case& c : cases) {
    TTcpConnection connection = Connect();
    EXPECT_EQ(Ask(&connection, c.request), c.answer) << c.request;
  }
  // Each line of a connection is answered, until one is no alive check.
  TTcpConnection connection = Connect();
  EXPECT_EQ(Ask(&connection, "<|5|>"), "<|5|Vantrel Wattkeep|>");
  EXPECT_EQ(Ask(&connection, "<|5|>"), "<|5|Vantrel Wattkeep|>");
  EXPECT_EQ(Ask(&connection, "<|7|>"), "(closed)");
  ASSERT_TRUE(service_.WaitServed(static_cast<int64_t>(cases.size()) + 1, 2000));
  const std::vector<std::string> reports = Reports();
  ASSERT_EQ(reports.size(), cases.size() + 3);
  EXPECT_EQ(reports[0], "127.0.0.1: <|5|> -> <|5|Vantrel Wattkeep|>");
  EXPECT_EQ(reports[2], "127.0.0.1: <|6|> -> not an alive check, no reply");
}

TEST_F(AliveService, ASilentOrSlowCallerDelaysNoOtherAndIsLetGo) {
  TAliveOptions options;
  options.request_timeout_ms = 1500;
  ASSERT_NO_FATAL_FAILURE(Start(options));
  // Timed from before the silent caller's accept, where its limit starts.
  const Clock::time_point start = Clock::now();
  TTcpConnection silent = Connect();
  TTcpConnection half = Connect();
  // Half a request, never ended.
  ASSERT_EQ(write(half.fd(), "3C7C", 4), 4);
  TTcpConnection healthy = Connect();
  EXPECT_EQ(Ask(&healthy, "<|5|>"), "<|5|Vantrel Wattkeep|>");
  // Well before the silent callers are let go.
  EXPECT_LT(MsSince(start), 1000);
  std::string line;
  EXPECT_EQ(silent.ReadLine(&line, 4096, 4000), TReadStatus::kClosed);
  EXPECT_GE(MsSince(start), 1400);
  ASSERT_TRUE(service_.WaitServed(3, 2000));
}

TEST_F(AliveService, StopsWithinASecondWhileCallersAreHeld) {
  TAliveOptions options;
  options.silent = true;
  options.request_timeout_ms = 60000;
  ASSERT_NO_FATAL_FAILURE(Start(options));
  std::vector<TTcpConnection> held;
  for (int i = 0; i < 3; ++i) {
    held.push_back(Connect());
    EXPECT_EQ(Ask(&held.back(), "<|5|>", 200), "(timeout)");
  }
  held.push_back(Connect());  // connected, nothing sent
  ASSERT_TRUE(service_.WaitServed(3, 2000));
  const Clock::time_point start = Clock::now();
  service_.Stop();
  EXPECT_LT(MsSince(start), 1000);
  EXPECT_EQ(service_.BoundPort(), 0);
  for (TTcpConnection& connection : held) {
    std::string line;
    EXPECT_EQ(connection.ReadLine(&line, 4096, 1000), TReadStatus::kClosed);
  }
}

TEST_F(AliveService, APortInUseIsReported) {
  ASSERT_NO_FATAL_FAILURE(Start());
  TAliveService second;
  TAliveOptions options;
  options.port = port_;
  options.bind = "127.0.0.1";
  EXPECT_EQ(second.Start(options), EADDRINUSE);
  options.bind = "not-an-address";
  EXPECT_EQ(second.Start(options), EINVAL);
}

TEST(AliveRequest, FollowsTheFrameRules) {
  EXPECT_TRUE(IsAliveRequest("<|5|>"));
  EXPECT_TRUE(IsAliveRequest("<| 5 |>"));
  EXPECT_FALSE(IsAliveRequest("<|5||>"));  // two fields
  EXPECT_FALSE(IsAliveRequest("<|05x|>"));
  EXPECT_FALSE(IsAliveRequest("<|5|>x"));
  EXPECT_FALSE(IsAliveRequest("<|5|Vantrel Wattkeep|>"));
  EXPECT_FALSE(IsAliveRequest("5"));
}

}  // namespace
