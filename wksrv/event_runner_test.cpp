#include "wksrv/event_runner.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "common/scramble.h"
#include "common/tcp.h"
#include "tests/support/subprocess.h"
#include "wksrv/wksrv_test_tree.h"

namespace {

using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A slave daemon on 127.0.0.1 as the master sees it: greets "<|ok|>" and
// records the request line, or, silent, accepts and never greets.
class FakeSlave {
 public:
  explicit FakeSlave(bool silent = false) : silent_(silent) {
    listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listen_fd_ < 0 || pipe2(stop_, O_CLOEXEC) != 0 ||
        bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listen_fd_, 16) != 0 ||
        getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "fake slave: " << std::strerror(errno);
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~FakeSlave() {
    if (thread_.joinable()) {
      EXPECT_EQ(write(stop_[1], "x", 1), 1);
      thread_.join();
    }
    for (int fd : {listen_fd_, stop_[0], stop_[1]}) {
      if (fd >= 0) close(fd);
    }
  }
  uint16_t port() const { return port_; }
  std::string Job(const std::string& action) const {
    return action + ",127.0.0.1," + std::to_string(port_);
  }
  Lines Frames() {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
  }
  Clock::time_point FirstFrameAt() {
    std::lock_guard<std::mutex> lock(mutex_);
    return first_frame_at_;
  }
  int Connections() {
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_;
  }

 private:
  void Serve() {
    std::vector<TTcpConnection> held;
    for (;;) {
      pollfd p[2] = {{listen_fd_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
      if (poll(p, 2, -1) < 0 && errno == EINTR) continue;
      if (p[1].revents != 0) return;
      int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      TTcpConnection connection(fd);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++connections_;
      }
      if (silent_) {
        held.push_back(std::move(connection));
        continue;
      }
      connection.WriteLine(Scramble("<|ok|>"));
      std::string line;
      if (connection.ReadLine(&line, 4096, 2000, stop_[0]) != TReadStatus::kLine) continue;
      std::lock_guard<std::mutex> lock(mutex_);
      if (frames_.empty()) first_frame_at_ = Clock::now();
      frames_.push_back(Descramble(line));
    }
  }

  bool silent_;
  int listen_fd_ = -1;
  int stop_[2] = {-1, -1};
  uint16_t port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  Lines frames_;
  Clock::time_point first_frame_at_;
  int connections_ = 0;
};

// Everything the jobs did outside, one line each in the order it happened.
// Shared with the task threads, which may outlive a test's runner.
struct Record {
  std::mutex mutex;
  Lines lines;
  std::vector<Clock::time_point> times;
  bool refuse_popup = false;
  bool refuse_mail = false;
  bool refuse_start = false;
  std::string refused_variable;  // the UPS refuses to set this one

  void Clear() {
    std::lock_guard<std::mutex> lock(mutex);
    lines.clear();
    times.clear();
  }
  void Add(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex);
    lines.push_back(line);
    times.push_back(Clock::now());
  }
  Lines Lines_() {
    std::lock_guard<std::mutex> lock(mutex);
    return lines;
  }
  // When the first line starting with `prefix` was added; false when none was.
  bool TimeOf(const std::string& prefix, Clock::time_point* when) {
    std::lock_guard<std::mutex> lock(mutex);
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].compare(0, prefix.size(), prefix) == 0) {
        *when = times[i];
        return true;
      }
    }
    return false;
  }
  bool Has(const std::string& prefix) {
    Clock::time_point unused;
    return TimeOf(prefix, &unused);
  }
  bool HasLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

class FakeUps : public TUpsLink {
 public:
  explicit FakeUps(std::shared_ptr<Record> record) : record_(std::move(record)) {}
  TUpsReading Poll(bool) override { return {}; }
  bool SetVariable(const std::string& name, const std::string& value, std::string* error) override {
    record_->Add("ups set " + name + "=" + value);
    if (name != record_->refused_variable) return true;
    *error = "ACCESS-DENIED";
    return false;
  }
  bool InstantCommand(const std::string& name, std::string*) override {
    record_->Add("ups command " + name);
    return true;
  }

 private:
  std::shared_ptr<Record> record_;
};

class EventRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setup_.Server.QsTimeoutConnection = 2;
    master_.ShutdownCommand = "/opt/recorder  -h now";
  }
  // A runner of the current setup whose world, but for the orders, is the
  // record.
  std::unique_ptr<TEventRunner> Runner() {
    auto runner = std::make_unique<TEventRunner>(setup_, master_, &ups_);
    TJobWorld world = RealJobWorld(setup_);
    std::shared_ptr<Record> record = record_;
    world.popup = [record](const std::string& text, std::string* error) {
      record->Add("popup " + text);
      *error = "a terminal refused";
      return !record->refuse_popup;
    };
    world.mail = [record](const TMailMessage& message, std::string* error) {
      record->Add("mail " + message.recipient + " " + message.subject);
      *error = "550 refused";
      return !record->refuse_mail;
    };
    world.system_log = [record](const std::string& text) { record->Add("syslog " + text); };
    world.start = [record](const std::vector<std::string>& argv, std::string* error) {
      std::string line = "start";
      for (const std::string& arg : argv) line += " [" + arg + "]";
      record->Add(line);
      *error = "no such file";
      return !record->refuse_start;
    };
    world.log = [record](const std::string& text) { record->Add("log " + text); };
    runner->SetWorld(world);
    return runner;
  }
  void Events(const Lines& lines) {
    for (const std::string& line : lines) setup_.Ups.Events.AddEventLine(line);
  }

  TWksrvTestTree tree_;
  TSetupData setup_ = tree_.Setup();
  TMasterSettings master_;
  std::shared_ptr<Record> record_ = std::make_shared<Record>();
  FakeUps ups_{record_};
};

TEST_F(EventRunnerTest, ConsecutiveOrdersGoOutTogetherAndASilentSlaveDelaysNoOther) {
  FakeSlave first;
  FakeSlave silent(true);
  FakeSlave last;
  int closed_port = 0;
  {
    FakeSlave gone;
    closed_port = gone.port();
  }
  Events({"0|" + first.Job("$R_MSG") + "|" + silent.Job("$R_MSG") + "|$R_MSG,127.0.0.1," +
          std::to_string(closed_port) + "|" + last.Job("$R_SHELL_2") + "|$LOG"});
  auto runner = Runner();
  const Clock::time_point raised = Clock::now();
  runner->Raise(0);
  ASSERT_TRUE(WaitUntil([&] { return !last.Frames().empty() && !first.Frames().empty(); }, 1500));
  EXPECT_LT(MsSince(raised), 1000);
  EXPECT_EQ(first.Frames(), Lines{"<|0|1|Mains failure|>"});
  EXPECT_EQ(last.Frames(), Lines{"<|0|3|>"});
  // The next job waits for the group, the silent slave for its limit (2 s).
  ASSERT_TRUE(runner->WaitIdle(4000));
  Clock::time_point logged;
  ASSERT_TRUE(record_->TimeOf("log Mains failure", &logged));
  const int64_t group_ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(logged - raised).count();
  EXPECT_GE(group_ms, 1900);
  EXPECT_LE(group_ms, 3500);
  EXPECT_EQ(silent.Connections(), 1);
  const std::string prefix = "log Mains failure: order ";
  const std::string at = " to 127.0.0.1:";
  EXPECT_TRUE(
      record_->Has(prefix + "1 (message)" + at + std::to_string(first.port()) + ": accepted"));
  EXPECT_TRUE(record_->Has(prefix + "3 (custom script 2)" + at + std::to_string(last.port()) +
                           ": accepted"));
  EXPECT_TRUE(record_->Has(prefix + "1 (message)" + at + std::to_string(silent.port()) +
                           ": not delivered"));
  EXPECT_TRUE(record_->Has(prefix + "1 (message)" + at + std::to_string(closed_port) +
                           ": not delivered: cannot connect"));
}

TEST_F(EventRunnerTest, StopEndsRunningJobsWithinASecondAndLaterEventsDoNothing) {
  FakeSlave silent(true);
  setup_.Server.QsTimeoutConnection = 30;
  Events({"0|" + silent.Job("$R_SHUT") + "|$LOG", "2|$LOG"});
  auto runner = Runner();
  runner->Raise(0);
  ASSERT_TRUE(WaitUntil([&] { return silent.Connections() == 1; }, 2000));
  const Clock::time_point start = Clock::now();
  runner->Stop();
  EXPECT_LT(MsSince(start), 1000);
  runner->Raise(2);
  EXPECT_TRUE(runner->WaitIdle(0));
  EXPECT_EQ(record_->Lines_(),
            Lines{"log Mains failure: order 0 (shut down) to 127.0.0.1:" +
                  std::to_string(silent.port()) + ": given up: the master server stops"});
}

TEST_F(EventRunnerTest, TheShutdownOrdersSlavesFirstRunsEvent12AndThenOnlyLogs) {
  FakeSlave slave;
  setup_.Ups.UpsOffEnabled = true;
  setup_.Ups.UpsOffDelay = 120;
  setup_.Ups.UpsOnEnabled = true;
  setup_.Ups.UpsOnDelay = 30;
  record_->refused_variable = "ups.delay.start";
  Events({"2|" + slave.Job("$R_SHUT") + "|$SHUTDOWN|$POPUP,*|$LOG",
          "12|$LOG|" + slave.Job("$R_MSG") + "|$SHUTDOWN",
          "0|" + slave.Job("$R_MSG") + "|$MSLOG|$LOG|$SHUTDOWN"});
  auto runner = Runner();
  runner->Raise(2);
  ASSERT_TRUE(runner->WaitIdle(5000));
  EXPECT_TRUE(runner->ShutdownStarted());
  // The master is done once the request is written; the slave reads it after.
  EXPECT_TRUE(WaitUntil([&] { return slave.Frames().size() >= 2; }, 2000));
  EXPECT_EQ(slave.Frames(), (Lines{"<|2|0|>", "<|12|1|System shutdown|>"}));
  const std::string port = std::to_string(slave.port());
  EXPECT_EQ(record_->Lines_(),
            (Lines{"log Battery low: order 0 (shut down) to 127.0.0.1:" + port + ": accepted",
                   "log Battery low: the system shutdown begins", "log System shutdown",
                   "log System shutdown: order 1 (message) to 127.0.0.1:" + port + ": accepted",
                   "log System shutdown: $SHUTDOWN: skipped: the shutdown has already begun",
                   "ups set ups.delay.shutdown=120", "ups set ups.delay.start=30",
                   "log Battery low: the UPS refused ups.delay.start=30: ACCESS-DENIED",
                   "ups command shutdown.return", "start [/opt/recorder] [-h] [now]",
                   "log Battery low: started /opt/recorder  -h now",
                   "log Battery low: $POPUP,*: skipped: the system shutdown has begun",
                   "log Battery low"}));

  // Any later event only logs.
  runner->Raise(0);
  ASSERT_TRUE(runner->WaitIdle(5000));
  EXPECT_EQ(slave.Connections(), 2);
  const Lines lines = record_->Lines_();
  EXPECT_EQ(Lines(lines.begin() + 13, lines.end()),
            (Lines{"log Mains failure: $R_MSG,127.0.0.1," + port +
                       ": skipped: the system shutdown has begun",
                   "syslog Mains failure", "log Mains failure",
                   "log Mains failure: $SHUTDOWN: skipped: the system shutdown has begun"}));
}

TEST_F(EventRunnerTest, TheUpsIsAskedOnlyWhatItsSettingsSay) {
  struct Case {
    bool down;
    bool off;
    bool on;
    Lines asked;
  };
  const std::vector<Case> cases = {
      {true,
       true,
       true,
       {"ups set ups.delay.shutdown=180", "ups set ups.delay.start=60",
        "ups command shutdown.return"}},
      {true, true, false, {"ups set ups.delay.shutdown=180", "ups command shutdown.stayoff"}},
      {true, false, true, {"ups set ups.delay.start=60"}},
      {true, false, false, {}},
      {false, true, true, {}},
  };
  for (const Case& c : cases) {
    record_->Clear();
    setup_ = tree_.Setup({"2|$SHUTDOWN", "12|$LOG"});
    setup_.Server.SrvDownEnabled = c.down;
    setup_.Ups.UpsOffEnabled = c.off;
    setup_.Ups.UpsOnEnabled = c.on;
    auto runner = Runner();
    runner->Raise(2);
    ASSERT_TRUE(runner->WaitIdle(5000));
    Lines asked;
    for (const std::string& line : record_->Lines_()) {
      if (line.compare(0, 4, "ups ") == 0) asked.push_back(line);
    }
    EXPECT_EQ(asked, c.asked) << c.down << c.off << c.on;
    EXPECT_EQ(runner->ShutdownStarted(), c.down);
    EXPECT_EQ(record_->Has("start [/opt/recorder]"), c.down);
    EXPECT_EQ(record_->Has("log System shutdown"), c.down);
    if (!c.down) {
      EXPECT_TRUE(
          record_->Has("log Battery low: $SHUTDOWN: skipped: the system shutdown is not "
                       "enabled"));
    }
  }
}

TEST_F(EventRunnerTest, AFailingJobIsLoggedAndTheNextOneRuns) {
  setup_.Email.EmailServer = "mail.example.org";
  setup_.Email.EmailSender = "ups@example.org";
  record_->refuse_popup = true;
  record_->refuse_mail = true;
  record_->refuse_start = true;
  Events(
      {"0|$POPUP,*|$EMAIL,not-an-address|$EMAIL,ops@example.org|$L_SHELL,/opt/s.sh|"
       "$L_SHELL|$BOGUS,1|$MSLOG|$LOG"});
  auto runner = Runner();
  runner->Raise(0);
  ASSERT_TRUE(runner->WaitIdle(5000));
  EXPECT_EQ(record_->Lines_(),
            (Lines{"popup Mains failure", "log Mains failure: $POPUP,*: a terminal refused",
                   "log Mains failure: $EMAIL,not-an-address: no mail sent: the recipient "
                   "'not-an-address' is no mail address",
                   "mail ops@example.org UPS: Mains failure",
                   "log Mains failure: $EMAIL,ops@example.org: no mail sent: 550 refused",
                   "start [/opt/s.sh] [0] [Mains failure]",
                   "log Mains failure: $L_SHELL,/opt/s.sh: not started: no such file",
                   "log Mains failure: $L_SHELL: no script given",
                   "log Mains failure: $BOGUS,1: skipped: unknown action", "syslog Mains failure",
                   "log Mains failure"}));
}

TEST_F(EventRunnerTest, EventsRunSideBySideAndAnUnconfiguredOneDoesNothing) {
  FakeSlave silent(true);
  Events({"0|" + silent.Job("$R_SHUT") + "|$LOG", "2|$LOG"});
  auto runner = Runner();
  runner->Raise(0);
  runner->Raise(7);
  runner->Raise(2);
  ASSERT_TRUE(WaitUntil([&] { return record_->HasLine("log Battery low"); }, 1000));
  EXPECT_FALSE(record_->HasLine("log Mains failure"));
  ASSERT_TRUE(runner->WaitIdle(4000));
  EXPECT_TRUE(record_->HasLine("log Mains failure"));
  EXPECT_EQ(record_->Lines_().size(), 3u);
}

}  // namespace
