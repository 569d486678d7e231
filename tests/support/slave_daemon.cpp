// The slave fixture. The daemon detaches, so the PID namespace needs a first
// process that outlives the starter: a shell runs the starter and then waits
// in sleep as the namespace's PID 1, to which the daemon is handed. unshare
// kills that PID 1 when it is itself killed, which ends the namespace.

#include "tests/support/slave_daemon.h"

#include <algorithm>

#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr char kUnshare[] = "/usr/bin/unshare";
constexpr char kStarted[] = "QS System: daemon started";
constexpr int kStartMs = 8000;

}  // namespace

TSlaveDaemon::TSlaveDaemon(const std::string& dir, const std::string& qslx_binary, uint16_t port)
    : dir_(dir),
      qslx_binary_(qslx_binary),
      port_(port),
      tree_(dir + "/tree"),
      config_(tree_.DefaultConfig(port)) {}

TSlaveDaemon::~TSlaveDaemon() {
  Stop();
}

bool TSlaveDaemon::Start(std::string* error) {
  if (!MakeDirs(dir_ + "/tree") || !MakeDirs(dir_ + "/work")) {
    *error = "cannot create " + dir_;
    return false;
  }
  if (!tree_.Build(qslx_binary_, config_, error)) return false;
  const std::string output = dir_ + "/qslx.out";
  TRunOptions options;
  options.cwd = dir_ + "/work";
  options.stdout_path = output;
  options.merge_stderr = true;
  // The keeper's sleep outlasts any test; Stop ends it long before.
  namespace_pid_ = StartBackground({kUnshare, "--pid", "--fork", "--kill-child", "--mount-proc",
                                    "/bin/sh", "-c", "\"$0\" && exec sleep 3600", tree_.Program()},
                                   options);
  bool started = namespace_pid_ > 0 &&
                 WaitUntil(
                     [&] {
                       std::vector<std::string> lines = LinesOf(ReadFile(output));
                       return std::find(lines.begin(), lines.end(), kStarted) != lines.end() ||
                              ProcessGone(namespace_pid_);
                     },
                     kStartMs);
  if (!started || ProcessGone(namespace_pid_)) {
    *error = "qslx on port " + std::to_string(port_) + " did not start: " + ReadFile(output);
    return false;
  }
  return true;
}

void TSlaveDaemon::Stop() {
  // unshare waits out SIGTERM; only its end takes the namespace down.
  EndProcess(namespace_pid_, 0);
  namespace_pid_ = -1;
}

std::vector<std::string> TSlaveDaemon::LogTexts() const {
  std::vector<std::string> texts;
  for (const std::string& line : LinesOf(ReadFile(tree_.LogPath()))) {
    std::string text;
    if (ParseLogLine(line, &text)) texts.push_back(text);
  }
  return texts;
}
