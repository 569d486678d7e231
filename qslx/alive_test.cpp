#include "qslx/alive.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <thread>

#include "common/scramble.h"
#include "gtest/gtest.h"

namespace {

using Result = TQsAliveClient::TConnectResult;

TEST(AliveReply, OnlyTheExactIdentificationIsValid) {
  EXPECT_TRUE(IsValidAliveReply("<|5|Vantrel Wattkeep|>"));
  EXPECT_TRUE(IsValidAliveReply("<| 5 |Vantrel Wattkeep |>"));
  for (const char* bad :
       {"<|5|vantrel wattkeep|>", "<|6|Vantrel Wattkeep|>", "<|5|Vantrel Wattkeep|extra|>", "<|5|>",
        "<|Vantrel Wattkeep|5|>", "<|x|Vantrel Wattkeep|>", "|5|Vantrel Wattkeep|",
        "<|5|Vantrel  Wattkeep|>", "", "<>"}) {
    EXPECT_FALSE(IsValidAliveReply(bad)) << bad;
  }
}

// Scripted masters: per address the connect results of its attempts (the
// last one repeating) and the reply it gives once connected.
class FakeClient : public TQsAliveClient {
 public:
  struct Master {
    std::vector<Result> connects;
    std::string reply = Scramble("<|5|Vantrel Wattkeep|>");
    bool exchange_fails = false;
  };

  TConnectResult Connect(const std::string& host, uint16_t port, int timeout_ms) override {
    log.push_back("connect " + host + ":" + std::to_string(port) + " " +
                  std::to_string(timeout_ms));
    Master& m = masters[host];
    size_t n = attempts[host]++;
    Result r = m.connects.empty() ? Result::kError : m.connects[std::min(n, m.connects.size() - 1)];
    connected = r == Result::kConnected;
    return r;
  }
  bool Exchange(const std::string& request, std::string* reply, int timeout_ms) override {
    log.push_back("exchange " + Descramble(request) + " " + std::to_string(timeout_ms));
    const Master& m = masters[current()];
    if (m.exchange_fails) return false;
    *reply = m.reply;
    return true;
  }
  bool Connected() const override { return connected; }
  void Disconnect() override {
    log.push_back("disconnect");
    connected = false;
  }

  std::string current() const {
    for (auto it = log.rbegin(); it != log.rend(); ++it) {
      if (it->rfind("connect ", 0) == 0) return it->substr(8, it->find(':') - 8);
    }
    return "";
  }

  std::map<std::string, Master> masters;
  std::map<std::string, size_t> attempts;
  std::vector<std::string> log;
  bool connected = false;
};

struct Sleeps {
  std::vector<int> calls;
  TQsSleeper fn() {
    return [this](int ms) { calls.push_back(ms); };
  }
};

TQsAliveCheck Check(uint8_t retries = 3) {
  TQsAliveCheck a;
  a.Enabled = true;
  a.Retries = retries;
  a.Port = 65000;
  a.TimeOut = 5;
  a.Delay = 2;
  return a;
}

TEST(AliveProbe, RefusingMasterGetsAllAttemptsAtOnce) {
  FakeClient client;
  client.masters["a"].connects = {Result::kError};
  Sleeps sleeps;
  auto results = ProbeMasters({"a"}, Check(3), &client, sleeps.fn());
  ASSERT_EQ(1u, results.size());
  EXPECT_FALSE(results[0].ok);
  EXPECT_EQ(3, results[0].attempts);
  EXPECT_TRUE(sleeps.calls.empty());
  EXPECT_EQ("connect a:65000 5000", client.log[0]);
}

TEST(AliveProbe, AtLeastOneAttemptWhateverTheRetries) {
  FakeClient client;
  client.masters["a"].connects = {Result::kError};
  Sleeps sleeps;
  EXPECT_EQ(1, ProbeMasters({"a"}, Check(0), &client, sleeps.fn())[0].attempts);
  EXPECT_EQ(1, ProbeMasters({"a"}, Check(1), &client, sleeps.fn())[0].attempts);
}

TEST(AliveProbe, DelayOnlyAfterAnAttemptThatEndedWithoutError) {
  FakeClient client;
  client.masters["a"].connects = {Result::kNotConnected, Result::kError, Result::kConnected};
  Sleeps sleeps;
  auto results = ProbeMasters({"a"}, Check(5), &client, sleeps.fn());
  EXPECT_TRUE(results[0].ok);
  EXPECT_EQ(3, results[0].attempts);
  EXPECT_EQ((std::vector<int>{2000}), sleeps.calls);
}

TEST(AliveProbe, ReplyDecidesTheOutcomeAndEveryConnectionIsClosed) {
  FakeClient client;
  client.masters["good"].connects = {Result::kConnected};
  client.masters["wrong"].connects = {Result::kConnected};
  client.masters["wrong"].reply = Scramble("<|5|vantrel wattkeep|>");
  client.masters["plain"].connects = {Result::kConnected};
  client.masters["plain"].reply = "<|5|Vantrel Wattkeep|>";
  client.masters["silent"].connects = {Result::kConnected};
  client.masters["silent"].exchange_fails = true;
  Sleeps sleeps;
  auto r = ProbeMasters({"good", "wrong", "plain", "silent"}, Check(3), &client, sleeps.fn());
  ASSERT_EQ(4u, r.size());
  EXPECT_TRUE(r[0].ok);
  EXPECT_FALSE(r[1].ok);
  EXPECT_FALSE(r[2].ok);
  EXPECT_FALSE(r[3].ok);
  for (const auto& one : r) EXPECT_EQ(1, one.attempts);
  EXPECT_EQ("exchange <|5|> 5000", client.log[1]);
  EXPECT_EQ(4, std::count(client.log.begin(), client.log.end(), "disconnect"));
  EXPECT_FALSE(client.connected);
}

TEST(AliveProbe, TimeLimitsAreBoundedForAnyConfiguredValue) {
  FakeClient client;
  client.masters["a"].connects = {Result::kConnected};
  Sleeps sleeps;
  TQsAliveCheck a = Check(1);
  a.TimeOut = 0;
  ProbeMasters({"a"}, a, &client, sleeps.fn());
  EXPECT_EQ("connect a:65000 0", client.log[0]);
  EXPECT_EQ("exchange <|5|> 1000", client.log[1]);

  client.log.clear();
  a.TimeOut = 0x7fffffff;
  ProbeMasters({"a"}, a, &client, sleeps.fn());
  EXPECT_EQ("connect a:65000 2147483647", client.log[0]);
}

struct FakeEvents : TQsEventSink {
  void WriteEvent(const std::string& key, const TTextList& params) override {
    std::string line = key;
    for (const auto& p : params) line += "|" + p;
    lines.push_back(line);
  }
  void WriteLine(const std::string& text) override { lines.push_back(text); }
  std::vector<std::string> lines;
};

struct Started {
  std::vector<std::string> calls;
  TQsProgramStarter fn() {
    return [this](const std::string& path, const std::string& arg) {
      calls.push_back(path + "(" + arg + ")");
    };
  }
};

class AliveTickTest : public ::testing::Test {
 protected:
  AliveTickTest() {
    setup.Alive = Check(3);
    setup.Alive.Frequency = 30;
    setup.Alive.Script = "/i/script/system/chkfail.sh";
    setup.Addresses = {"down", "up"};
    client.masters["down"].connects = {Result::kError};
    client.masters["up"].connects = {Result::kConnected};
  }
  void Tick() { AliveTick(&state, setup, &client, &events, started.fn(), sleeps.fn()); }
  size_t Probes() const { return client.attempts.size(); }

  TQsSetupData setup;
  TQsAliveState state;
  FakeClient client;
  FakeEvents events;
  Started started;
  Sleeps sleeps;
};

TEST_F(AliveTickTest, DisabledNeverChecks) {
  setup.Alive.Enabled = false;
  state.Arm(setup.Alive.Enabled);
  for (int i = 0; i < 10; ++i) Tick();
  EXPECT_EQ(0u, Probes());
  EXPECT_FALSE(state.AliveArmed);
}

TEST_F(AliveTickTest, ChecksWhenThePassesReachTheFrequency) {
  state.Arm(true);
  Tick();
  Tick();
  EXPECT_EQ(0u, Probes());
  EXPECT_EQ(20, state.AliveCounter);
  Tick();
  EXPECT_EQ(2u, Probes());
  EXPECT_EQ(0, state.AliveCounter);
  EXPECT_TRUE(state.AliveArmed);

  setup.Alive.Frequency = 1800;
  client.attempts.clear();
  state.Arm(true);
  for (int i = 0; i < 179; ++i) Tick();
  EXPECT_EQ(0u, Probes());
  Tick();
  EXPECT_EQ(2u, Probes());

  setup.Alive.Frequency = 5;
  client.attempts.clear();
  Tick();
  EXPECT_EQ(2u, Probes());
}

TEST_F(AliveTickTest, OneLinePerFailedMasterAndTheScriptOnce) {
  state.Arm(true);
  for (int i = 0; i < 3; ++i) Tick();
  EXPECT_EQ((std::vector<std::string>{"LogAliveKo|down|3"}), events.lines);
  EXPECT_EQ((std::vector<std::string>{"/i/script/system/chkfail.sh()"}), started.calls);

  client.masters["up"].connects = {Result::kError};
  events.lines.clear();
  started.calls.clear();
  for (int i = 0; i < 3; ++i) Tick();
  EXPECT_EQ((std::vector<std::string>{"LogAliveKo|down|3", "LogAliveKo|up|3"}), events.lines);
  EXPECT_EQ(1u, started.calls.size());
}

TEST_F(AliveTickTest, HealthyOrNoMastersLogAndStartNothing) {
  client.masters["down"].connects = {Result::kConnected};
  state.Arm(true);
  for (int i = 0; i < 3; ++i) Tick();
  EXPECT_EQ(2u, Probes());
  setup.Addresses.clear();
  for (int i = 0; i < 3; ++i) Tick();
  EXPECT_TRUE(events.lines.empty());
  EXPECT_TRUE(started.calls.empty());
}

// A stop request seen after any wait ends the check: no further master is
// probed, nothing is logged or started, and the check stays armed.
TEST_F(AliveTickTest, StopRequestCutsTheCheckShort) {
  setup.Addresses = {"down", "up", "down"};
  for (size_t stop_after : {1u, 2u, 4u}) {
    SCOPED_TRACE(stop_after);
    client.log.clear();
    client.attempts.clear();
    size_t waits = 0;
    auto stop_requested = [&] { return ++waits >= stop_after; };
    state.Arm(true);
    for (int i = 0; i < 3; ++i) {
      AliveTick(&state, setup, &client, &events, started.fn(), sleeps.fn(), stop_requested);
    }
    EXPECT_LE(client.attempts["down"], 2u);
    EXPECT_TRUE(events.lines.empty());
    EXPECT_TRUE(started.calls.empty());
    EXPECT_TRUE(state.AliveArmed);
  }
  auto results =
      ProbeMasters({"down", "up"}, setup.Alive, &client, sleeps.fn(), [] { return true; });
  EXPECT_TRUE(results.empty());
}

TEST_F(AliveTickTest, DisarmedCheckStopsCounting) {
  state.Arm(true);
  Tick();
  state.Disarm();
  for (int i = 0; i < 5; ++i) Tick();
  EXPECT_EQ(10, state.AliveCounter);
  EXPECT_EQ(0u, Probes());
}

// A one-shot master on 127.0.0.1 that answers the request line with `reply`,
// or stays silent when `reply` is empty.
class LoopbackMaster {
 public:
  explicit LoopbackMaster(std::string reply) : reply_(std::move(reply)) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd_, 4);
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    thread_ = std::thread([this] {
      TTcpConnection c(accept(fd_, nullptr, nullptr));
      if (c.ReadLine(&request, 100, 3000) == TReadStatus::kLine && !reply_.empty()) {
        c.WriteLine(reply_);
      }
      std::string rest;
      c.ReadLine(&rest, 100, 3000);
    });
  }
  ~LoopbackMaster() {
    Finish();
    close(fd_);
  }
  // Waits until the master has hung up; its request is then complete.
  const std::string& Finish() {
    if (thread_.joinable()) thread_.join();
    return request;
  }
  uint16_t port = 0;

 private:
  std::string request;
  std::string reply_;
  int fd_;
  std::thread thread_;
};

TEST(AliveTcpClient, RealMasterAnsweringIsHealthy) {
  TQsTcpAliveClient client;
  TQsAliveCheck a = Check(1);
  {
    LoopbackMaster master(Scramble("<|5|Vantrel Wattkeep|>"));
    a.Port = master.port;
    auto r = ProbeMasters({"localhost"}, a, &client, [](int) {});
    EXPECT_TRUE(r[0].ok);
    EXPECT_FALSE(client.Connected());
  }
}

TEST(AliveTcpClient, SilentMasterFailsWithinTheTimeLimit) {
  TQsTcpAliveClient client;
  TQsAliveCheck a = Check(1);
  a.TimeOut = 1;
  LoopbackMaster master("");
  a.Port = master.port;
  auto start = std::chrono::steady_clock::now();
  auto r = ProbeMasters({"127.0.0.1"}, a, &client, [](int) {});
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                  start)
                .count();
  EXPECT_FALSE(r[0].ok);
  EXPECT_GE(ms, 900);
  EXPECT_LT(ms, 2500);
  EXPECT_EQ("<|5|>", Descramble(master.Finish()));
}

// The real client's waits end when its wake descriptor becomes readable.
TEST(AliveTcpClient, WakeFdEndsTheWaitForASilentMaster) {
  int wake[2];
  ASSERT_EQ(0, pipe(wake));
  TQsTcpAliveClient client(wake[0]);
  TQsAliveCheck a = Check(1);
  a.TimeOut = 10;
  LoopbackMaster master("");
  a.Port = master.port;
  std::thread waker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(1, write(wake[1], "x", 1));
  });
  auto start = std::chrono::steady_clock::now();
  auto r = ProbeMasters({"127.0.0.1"}, a, &client, [](int) {});
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                  start)
                .count();
  waker.join();
  EXPECT_FALSE(r[0].ok);
  EXPECT_LT(ms, 2000);
  master.Finish();
  close(wake[0]);
  close(wake[1]);
}

}  // namespace
