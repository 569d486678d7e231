// The daemon harness shared by the daemon's system, load and fault tests:
// every wait is a bounded poll for an effect the daemon leaves behind.
#include "tests/support/daemon_run.h"

#include <signal.h>
#include <sys/mount.h>

#include <algorithm>
#include <fstream>

std::vector<pid_t> QslxProcesses() {
  return ProcessesNamed("qslx");
}

TDaemonRun::TDaemonRun(const std::string& tag, uint16_t port)
    : temp_(tag),
      tree_(temp_.Sub("tree")),
      workdir_(temp_.Sub("work")),
      output_path_(temp_.Sub("qslx.out")),
      port_(port),
      config_(tree_.DefaultConfig(port)) {
  ok_ = !temp_.path().empty() && MakeDirs(temp_.Sub("tree")) && MakeDirs(workdir_);
}

TDaemonRun::~TDaemonRun() {
  if (Running()) {
    kill(pid_, SIGKILL);
    WaitUntil([this] { return !Running(); }, 5000);
  }
  // Deepest first, so that a mount below another one goes before it.
  std::ifstream mounts("/proc/self/mounts");
  std::string device, where, rest;
  std::vector<std::string> below;
  while (mounts >> device >> where && std::getline(mounts, rest)) {
    if (where.compare(0, tree_.root().size(), tree_.root()) == 0) below.push_back(where);
  }
  for (auto it = below.rbegin(); it != below.rend(); ++it) umount2(it->c_str(), MNT_DETACH);
}

bool TDaemonRun::Build(const std::string& binary, std::string* error) {
  if (!ok_) {
    *error = "cannot make the directories below " + temp_.path();
    return false;
  }
  built_ = tree_.Build(binary, config_, error);
  return built_;
}

TRunResult TDaemonRun::Run(const std::vector<std::string>& args, TRunOptions options) const {
  std::vector<std::string> argv = {tree_.Program()};
  argv.insert(argv.end(), args.begin(), args.end());
  if (options.cwd.empty()) options.cwd = workdir_;
  if (options.stdout_path.empty()) options.stdout_path = output_path_;
  return RunCommand(argv, options);
}

bool TDaemonRun::Start(const std::vector<std::string>& args, int timeout_ms, std::string* error) {
  TRunOptions options;
  options.timeout_ms = timeout_ms;
  const TRunResult starter = Run(args, options);
  if (starter.timed_out || starter.exit_code != 0) {
    *error = starter.timed_out ? "the starter did not return"
                               : "the starter failed: " + starter.err + "\noutput:\n" + Output();
    return false;
  }
  if (!WaitForOutputLine("QS System: daemon started", timeout_ms)) {
    *error = "the daemon did not start; output:\n" + Output();
    return false;
  }
  pid_t found = -1;
  if (!WaitUntil(
          [&] {
            const std::vector<pid_t> pids = QslxProcesses();
            if (pids.size() != 1 || ParentOf(pids[0]) != 1) return false;
            found = pids[0];
            return true;
          },
          timeout_ms)) {
    *error = "no single detached qslx";
    return false;
  }
  pid_ = found;
  return true;
}

bool TDaemonRun::Stop(int timeout_ms) {
  TRunOptions options;
  options.stdout_path = temp_.Sub("stop.out");
  options.merge_stderr = true;
  options.timeout_ms = timeout_ms;
  if (Run({"-s"}, options).exit_code != 0) return false;
  return WaitUntil([] { return QslxProcesses().empty(); }, timeout_ms);
}

bool TDaemonRun::WaitForOutputLine(const std::string& line, int timeout_ms) const {
  return WaitUntil(
      [&] {
        const std::vector<std::string> lines = OutputLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
      },
      timeout_ms);
}

bool TDaemonRun::WaitForLogCount(size_t count, int timeout_ms) const {
  return WaitUntil([&] { return LogLines().size() >= count; }, timeout_ms);
}

bool TDaemonRun::WaitForLogText(const std::string& text, int timeout_ms) const {
  return WaitUntil(
      [&] {
        for (const std::string& line : LogLines()) {
          std::string got;
          if (ParseLogLine(line, &got) && got == text) return true;
        }
        return false;
      },
      timeout_ms);
}
