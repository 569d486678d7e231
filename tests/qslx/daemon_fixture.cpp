// The system tests' fixture. Waits are bounded polls: the daemon works
// asynchronously (it detaches, serves on other threads, starts scripts it
// never waits for), so a test waits for the visible effect, never for a
// fixed time where an effect is expected.

#include "tests/qslx/daemon_fixture.h"

#include <signal.h>
#include <sys/mount.h>

#include <algorithm>
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
  temp_ = std::make_unique<TempDir>("qslxtest");
  tree_ = std::make_unique<DaemonTree>(temp_->Sub("tree"));
  workdir_ = temp_->Sub("work");
  output_path_ = temp_->Sub("qslx.out");
  ASSERT_TRUE(MakeDirs(temp_->Sub("tree")) && MakeDirs(workdir_));
  port_ = NextPort();
  config_ = tree_->DefaultConfig(port_);
}

void DaemonTest::TearDown() {
  for (pid_t pid : Daemons()) kill(pid, SIGKILL);
  WaitUntil([this] { return Daemons().empty(); }, 3000);
  // Cases may follow each other in one namespace.
  if (private_resolver_) {
    for (const char* target : {"/etc/hosts", "/etc/resolv.conf"}) umount2(target, MNT_DETACH);
  }
}

void DaemonTest::BuildTree() {
  std::string error;
  ASSERT_TRUE(tree_->Build(QslxBinary(), config_, &error)) << error;
  built_ = true;
}

RunResult DaemonTest::RunQslx(const std::vector<std::string>& args, const std::string& output_path,
                              int uid, int stderr_fd) {
  std::vector<std::string> argv = {tree_->Program()};
  argv.insert(argv.end(), args.begin(), args.end());
  RunOptions options;
  options.cwd = workdir_;
  options.stdout_path = output_path.empty() ? output_path_ : output_path;
  options.uid = uid;
  options.stderr_fd = stderr_fd;
  options.timeout_ms = 5000;
  return RunCommand(argv, options);
}

void DaemonTest::StartDaemon(const std::vector<std::string>& args) {
  if (!built_) {
    ASSERT_NO_FATAL_FAILURE(BuildTree());
  }
  RunResult starter = RunQslx(args);
  ASSERT_FALSE(starter.timed_out) << "the starter did not return";
  ASSERT_EQ(starter.exit_code, 0) << starter.err;
  ASSERT_TRUE(WaitForOutputLine("QS System: daemon started", 5000)) << "output:\n" << Output();
  ASSERT_TRUE(WaitUntil(
      [this] {
        std::vector<pid_t> pids = Daemons();
        return pids.size() == 1 && ParentOf(pids[0]) == 1;
      },
      3000))
      << "no single detached qslx";
  daemon_pid_ = Daemons()[0];
}

void DaemonTest::StopDaemon() {
  RunResult stop = RunQslx({"-s"}, temp_->Sub("stop.out"));
  ASSERT_EQ(stop.exit_code, 0);
  ASSERT_TRUE(WaitForDaemonGone(kGoneWithinMs)) << "output:\n" << Output();
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
  return ReadFile(output_path_);
}

std::vector<std::string> DaemonTest::OutputLines() const {
  return LinesOf(Output());
}

bool DaemonTest::WaitForOutputLine(const std::string& line, int timeout_ms) {
  return WaitUntil(
      [&] {
        std::vector<std::string> lines = OutputLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
      },
      timeout_ms);
}

std::vector<std::string> DaemonTest::LogTexts() const {
  std::vector<std::string> texts;
  for (const std::string& line : LinesOf(ReadFile(tree_->LogPath()))) {
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
  return WaitUntil([&] { return LinesOf(ReadFile(tree_->LogPath())).size() >= count; }, timeout_ms);
}

bool DaemonTest::WaitForLogText(const std::string& text, int timeout_ms) {
  return WaitUntil(
      [&] {
        for (const std::string& line : LinesOf(ReadFile(tree_->LogPath()))) {
          std::string got;
          if (ParseLogLine(line, &got) && got == text) return true;
        }
        return false;
      },
      timeout_ms);
}

OrderOptions DaemonTest::Master(const std::string& bind) const {
  OrderOptions options;
  options.port = port_;
  options.bind_address = bind;
  return options;
}

OrderResult DaemonTest::Order(const std::string& frame, const std::string& bind) {
  return SendFrame(Master(bind), frame);
}
