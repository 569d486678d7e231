// A real qslx in a throw-away installation: the tree below a temporary
// directory, the program started and stopped as an administrator would, its
// output and its event log. The one daemon harness of the daemon's system
// tests (tests/qslx) and of its load and fault tests (tests/load). Waits are
// bounded polls: the daemon detaches, serves on other threads and starts
// scripts it never waits for, so a test waits for the visible effect.
#ifndef VOLTMON_TESTS_SUPPORT_DAEMON_RUN_H_
#define VOLTMON_TESTS_SUPPORT_DAEMON_RUN_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/daemon_tree.h"
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"

class TDaemonRun {
 public:
  // A temporary directory named after `tag` holding the tree ("tree/"), the
  // daemon's working directory ("work/") and its output ("qslx.out"); the
  // configuration starts as the tree's DefaultConfig(port). False ok() when
  // the directories cannot be made.
  TDaemonRun(const std::string& tag, uint16_t port);
  // Kills the daemon when it still runs and unmounts whatever a test mounted
  // below the tree.
  ~TDaemonRun();
  TDaemonRun(const TDaemonRun&) = delete;
  TDaemonRun& operator=(const TDaemonRun&) = delete;

  bool ok() const { return ok_; }
  TTempDir& temp() { return temp_; }
  TDaemonTree& tree() { return tree_; }
  const TDaemonTree& tree() const { return tree_; }
  TConfigEntries& config() { return config_; }
  const std::string& workdir() const { return workdir_; }
  const std::string& output_path() const { return output_path_; }
  // Where the next runs write and Output() reads, so that each start may
  // report to an output of its own.
  void set_output_path(const std::string& path) { output_path_ = path; }
  uint16_t port() const { return port_; }
  bool built() const { return built_; }
  pid_t pid() const { return pid_; }

  // Lays out the tree with config() and a copy of `binary`; false with
  // `*error` set.
  bool Build(const std::string& binary, std::string* error);

  // Runs the tree's qslx with `args`; `options` without a working directory
  // or an output path get workdir() and output_path().
  TRunResult Run(const std::vector<std::string>& args, TRunOptions options = {}) const;

  // Runs the starter with `args` (the tree must be built), then waits until
  // the output holds "QS System: daemon started" and one qslx, adopted by
  // PID 1, runs in the namespace; sets pid(). False with `*error` set.
  bool Start(const std::vector<std::string>& args, int timeout_ms, std::string* error);
  // "qslx -s" (its output to "stop.out"), then waits until no qslx runs.
  bool Stop(int timeout_ms);
  // True while the started daemon's process is there.
  bool Running() const { return pid_ > 0 && !ProcessGone(pid_); }

  // What the daemon and its starters printed so far, and its lines.
  std::string Output() const { return ReadFile(output_path_); }
  std::vector<std::string> OutputLines() const { return LinesOf(Output()); }
  bool WaitForOutputLine(const std::string& line, int timeout_ms) const;

  // The lines of the event log.
  std::vector<std::string> LogLines() const { return LinesOf(ReadFile(tree_.LogPath())); }
  // Waits until the log holds at least `count` lines.
  bool WaitForLogCount(size_t count, int timeout_ms) const;
  // Waits until the log holds a well-formed line with exactly `text`.
  bool WaitForLogText(const std::string& text, int timeout_ms) const;

 private:
  TTempDir temp_;
  TDaemonTree tree_;
  std::string workdir_;
  std::string output_path_;
  uint16_t port_;
  TConfigEntries config_;
  bool ok_ = false;
  bool built_ = false;
  pid_t pid_ = -1;
};

// Every qslx process in the namespace.
std::vector<pid_t> QslxProcesses();

#endif  // VOLTMON_TESTS_SUPPORT_DAEMON_RUN_H_
