// The master server's test fixture. Every wait is a bounded poll for a visible
// effect: a log line, a recorder's note, a mail, a process gone.

#include "tests/wksrv/wksrv_fixture.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include "common/ini.h"
#include "common/scramble.h"
#include "tests/support/master_client.h"

namespace {

const std::string kSourceDir = VM_SOURCE_DIR;

std::string Section(const std::string& name, const TConfigEntries& entries) {
  std::string text = "[" + name + "]\n";
  for (const auto& entry : entries) text += entry.first + "=" + entry.second + "\n";
  return text;
}

}  // namespace

void WksrvTest::SetUp() {
  std::string missing;
  if (!NutInstalled(&missing)) GTEST_SKIP() << missing << " is not installed";
  temp_ = std::make_unique<TTempDir>("wksrvtest");
  root_ = temp_->Sub("tree") + "/";
  for (const char* dir : {"bin", "languages", "data", "script/system", "work", "nut"}) {
    ASSERT_TRUE(MakeDirs(root_ + dir));
  }
  nut_ = std::make_unique<TNutUps>(root_ + "nut", kNutPort);
  std::string error;
  ASSERT_TRUE(nut_->Start(&error)) << error;

  // Quick polls, a log, no data file, and a policy that stays out of the way
  // unless a case sets it.
  wattkeep_ = {{"SrvPollingUps", "1"},       {"LogEnabled", "1"},          {"DataEnabled", "0"},
               {"SrvDownEnabled", "1"},      {"UpsSmartAutonomy", "0"},    {"UpsFixedTime", "3600"},
               {"SrvDownWarningTime", "60"}, {"QsTimeoutConnection", "3"}, {"QsAliveEnabled", "0"},
               {"UpsOffEnabled", "0"},       {"UpsOnEnabled", "0"}};
  master_ = {{"NutUps", nut_->Address()},
             {"NutUser", nut_->user()},
             {"NutPassword", Scramble(nut_->password())},
             {"ShutdownCommand", ShutdownRecorder(root_ + "shutdown.rec")}};
}

void WksrvTest::TearDown() {
  for (pid_t pid : Servers()) kill(pid, SIGKILL);
  WaitUntil([this] { return Servers().empty(); }, 3000);
  slaves_.clear();
  for (int fd : silent_fds_) close(fd);
  if (nut_) nut_->Stop();
}

void WksrvTest::OnEvent(int code, const std::vector<std::string>& jobs) {
  events_[code] = jobs;
}

std::string WksrvTest::RemoteJob(const std::string& code, uint16_t port) {
  return code + ",127.0.0.1," + std::to_string(port);
}

TSlaveDaemon* WksrvTest::StartSlave(uint16_t port, void (*configure)(TConfigEntries*)) {
  const std::string dir = temp_->Sub("slave" + std::to_string(port));
  EXPECT_TRUE(MakeDirs(dir));
  slaves_.push_back(std::make_unique<TSlaveDaemon>(dir, VM_QSLX_PATH, port));
  TSlaveDaemon* slave = slaves_.back().get();
  if (configure != nullptr) configure(&slave->config());
  std::string error;
  EXPECT_TRUE(slave->Start(&error)) << error;
  return slave;
}

int WksrvTest::StartSilentSlave(uint16_t port) {
  int fd = ListenOn("127.0.0.1", port);
  EXPECT_GE(fd, 0) << "cannot listen on " << port;
  if (fd >= 0) silent_fds_.push_back(fd);
  return fd;
}

bool WksrvTest::ConnectionWaiting(int listen_fd) {
  struct pollfd entry = {listen_fd, POLLIN, 0};
  return poll(&entry, 1, 0) == 1;
}

std::string WksrvTest::ShutdownRecorder(const std::string& record) {
  const std::string path = root_ + "script/shutdown-recorder.sh";
  EXPECT_TRUE(TDaemonTree::WriteRecorder(path, record));
  return path + " -h now";
}

void WksrvTest::StartWksrv() {
  const std::string program = ReadFile(VM_WKSRV_PATH);
  ASSERT_FALSE(program.empty()) << VM_WKSRV_PATH;
  ASSERT_TRUE(WriteFile(root_ + "bin/wksrv", program, 0755));
  ASSERT_TRUE(WriteFile(root_ + "bin/voltmon.cfg", "[Globals]\nProductVersion=1.0\nInstallPath=" +
                                                       root_ + "\nLanguageFile=english.lng\n"));
  ASSERT_TRUE(WriteFile(root_ + "languages/english.lng",
                        ReadFile(kSourceDir + "/packet/languages/english.lng")));
  ASSERT_TRUE(
      WriteFile(root_ + "bin/defevent.evn", ReadFile(kSourceDir + "/packet/bin/defevent.evn")));
  TConfigEntries wattkeep = wattkeep_;
  wattkeep.emplace_back("EventCounter", std::to_string(events_.size()));
  int n = 0;
  for (const auto& event : events_) {
    std::string line = std::to_string(event.first);
    for (const std::string& job : event.second) line += "|" + job;
    wattkeep.emplace_back("Event" + std::to_string(n++), line);
  }
  ASSERT_TRUE(WriteFile(root_ + "bin/wksrv.cfg",
                        Section("Wattkeep", wattkeep) + "\n" + Section("Master", master_)));

  TRunResult started = RunWksrv({});
  ASSERT_FALSE(started.timed_out) << "the starter did not return";
  ASSERT_EQ(started.exit_code, 0) << ReadFile(temp_->Sub("wksrv.out")) << started.err;
  ASSERT_TRUE(WaitUntil(
      [this] {
        std::vector<pid_t> pids = Servers();
        return pids.size() == 1 && ParentOf(pids[0]) == 1;
      },
      5000))
      << "no single detached wksrv; output:\n"
      << ReadFile(temp_->Sub("wksrv.out"));
}

TRunResult WksrvTest::RunWksrv(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {root_ + "bin/wksrv"};
  argv.insert(argv.end(), args.begin(), args.end());
  TRunOptions options;
  options.cwd = root_ + "work";
  options.stdout_path = temp_->Sub("wksrv.out");
  options.timeout_ms = 10000;
  return RunCommand(argv, options);
}

void WksrvTest::SetStatus(const std::string& status) {
  std::string error;
  ASSERT_TRUE(nut_->SetStatus(status, &error)) << error;
}

std::string WksrvTest::EventTag(int code) const {
  std::optional<std::string> name =
      ReadIniValue(kSourceDir + "/packet/languages/english.lng", "EVENTS", std::to_string(code));
  std::string text = name.value_or("");
  return text.substr(0, text.find_first_of("$^"));
}

std::vector<std::string> WksrvTest::LogTexts() const {
  std::vector<std::string> texts;
  for (const std::string& line : LinesOf(ReadFile(root_ + "data/wk_log.txt"))) {
    std::string text;
    texts.push_back(ParseLogLine(line, &text) ? text : line);
  }
  return texts;
}

int WksrvTest::LogIndexOf(int code) const {
  const std::string tag = EventTag(code);
  std::vector<std::string> texts = LogTexts();
  for (size_t i = 0; i < texts.size(); ++i) {
    if (!tag.empty() && texts[i].find(tag) != std::string::npos) return static_cast<int>(i);
  }
  return -1;
}

bool WksrvTest::WaitForEventLogged(int code, int timeout_ms) const {
  return WaitUntil([&] { return LogIndexOf(code) >= 0; }, timeout_ms, 50);
}
