// The system tests' fixture: the shared daemon harness, its failures turned
// into failed tests.

#include "tests/qslx/daemon_fixture.h"

#include <signal.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

const char kRootMessage[] = "Please login as root to use this program !";
const char kInvalidSetup[] = "Invalid setup. Pls. uninstall and then install this software again.";

std::string QslxBinary() {
  const char* other = std::getenv("VM_QSLX_UNDER_TEST");
  return other != nullptr && *other != '\0' ? other : VM_QSLX_PATH;
}
std::string QsmasterBinary() {
  return VM_QSMASTER_PATH;
}

namespace {

// Cases of one binary may also run one after the other in one namespace
// (a plain run of the whole binary); distinct ports keep them apart.
uint16_t NextPort() {
  static uint16_t next = 6005;
  return next++;
}

}  // namespace

void DaemonTest::SetUp() {
  run_ = std::make_unique<TDaemonRun>("qslxtest", NextPort());
  temp_ = &run_->temp();
  tree_ = &run_->tree();
  workdir_ = run_->workdir();
  output_path_ = run_->output_path();
  port_ = run_->port();
  config_ = run_->config();
  ASSERT_TRUE(run_->ok());
}

void DaemonTest::TearDown() {
  for (pid_t pid : Daemons()) kill(pid, SIGKILL);
  WaitUntil([this] { return Daemons().empty(); }, 3000);
  // Cases may follow each other in one namespace.
  if (private_resolver_) {
    for (const char* target : {"/etc/hosts", "/etc/resolv.conf"}) umount2(target, MNT_DETACH);
  }
  run_.reset();
}

TDaemonRun& DaemonTest::Run() const {
  run_->set_output_path(output_path_);
  return *run_;
}

void DaemonTest::BuildTree() {
  std::string error;
  run_->config() = config_;
  ASSERT_TRUE(run_->Build(QslxBinary(), &error)) << error;
}

TRunResult DaemonTest::RunQslx(const std::vector<std::string>& args, const std::string& output_path,
                               int uid, int stderr_fd) {
  TRunOptions options;
  options.stdout_path = output_path;
  options.uid = uid;
  options.stderr_fd = stderr_fd;
  options.timeout_ms = 5000;
  return Run().Run(args, options);
}

void DaemonTest::StartDaemon(const std::vector<std::string>& args) {
  if (!run_->built()) {
    ASSERT_NO_FATAL_FAILURE(BuildTree());
  }
  std::string error;
  ASSERT_TRUE(Run().Start(args, 5000, &error)) << error;
  daemon_pid_ = run_->pid();
}

void DaemonTest::StopDaemon() {
  ASSERT_TRUE(Run().Stop(kGoneWithinMs)) << "output:\n" << Output();
}

void DaemonTest::UsePrivateResolver(const std::string& hosts) {
  ASSERT_TRUE(WriteFile(temp_->Sub("hosts"), hosts));
  ASSERT_TRUE(WriteFile(temp_->Sub("resolv.conf"), "nameserver 127.0.0.1\noptions attempts:1\n"));
  for (const char* name : {"hosts", "resolv.conf"}) {
    std::string target = std::string("/etc/") + name;
    ASSERT_EQ(mount(temp_->Sub(name).c_str(), target.c_str(), nullptr, MS_BIND, nullptr), 0)
        << target << ": " << std::strerror(errno);
    private_resolver_ = true;
  }
}

bool DaemonTest::WaitForDaemonGone(int timeout_ms) {
  return WaitUntil([this] { return Daemons().empty(); }, timeout_ms);
}

std::string DaemonTest::Output() const {
  return Run().Output();
}

std::vector<std::string> DaemonTest::OutputLines() const {
  return Run().OutputLines();
}

bool DaemonTest::WaitForOutputLine(const std::string& line, int timeout_ms) {
  return Run().WaitForOutputLine(line, timeout_ms);
}

std::vector<std::string> DaemonTest::LogTexts() const {
  std::vector<std::string> texts;
  for (const std::string& line : run_->LogLines()) {
    std::string text;
    if (!ParseLogLine(line, &text)) {
      ADD_FAILURE() << "malformed log line: '" << line << "'";
      continue;
    }
    texts.push_back(text);
  }
  return texts;
}

bool DaemonTest::WaitForLogCount(size_t count, int timeout_ms) {
  return run_->WaitForLogCount(count, timeout_ms);
}

bool DaemonTest::WaitForLogText(const std::string& text, int timeout_ms) {
  return run_->WaitForLogText(text, timeout_ms);
}

TOrderOptions DaemonTest::Master(const std::string& bind) const {
  TOrderOptions options;
  options.port = port_;
  options.bind_address = bind;
  return options;
}

TOrderResult DaemonTest::Order(const std::string& frame, const std::string& bind) {
  return SendFrame(Master(bind), frame);
}
