// The fixture of the daemon's system tests: the shared daemon harness
// (tests/support/daemon_run.h) as GoogleTest fixture, with the checks that
// fail the test. Each test case runs in namespaces of its own (see
// nsrun_main.cpp), so every case may use the same ports and kill any qslx it
// finds.
#ifndef VOLTMON_TESTS_QSLX_DAEMON_FIXTURE_H_
#define VOLTMON_TESTS_QSLX_DAEMON_FIXTURE_H_

#include <gtest/gtest.h>
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/daemon_run.h"
#include "tests/support/daemon_tree.h"
#include "tests/support/master_client.h"
#include "tests/support/slowdown.h"
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"

// A stop or a SIGTERM is prompt: well within the daemon's 10-second pass.
constexpr int kPromptMs = 1500 * kSlowdown;
// How long a stopped or terminated daemon may take to be gone.
constexpr int kGoneWithinMs = 3000 * kSlowdown;

extern const char kRootMessage[];
extern const char kInvalidSetup[];

// The paths of the programs under test, from the build; the environment
// variable VM_QSLX_UNDER_TEST names another daemon binary to test instead.
std::string QslxBinary();
std::string QsmasterBinary();

class DaemonTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Lays out the tree with `config_`; fails the test when it cannot.
  void BuildTree();

  // Runs the tree's qslx from `workdir_` with `args`; its output is appended
  // to `output_path` (the starter's output file by default); standard error
  // goes to `stderr_fd` when given.
  TRunResult RunQslx(const std::vector<std::string>& args, const std::string& output_path = "",
                     int uid = -1, int stderr_fd = -1);

  // Builds the tree when not yet built, starts the daemon with `args` and
  // waits until it reports "daemon started" and has been adopted by PID 1;
  // sets `daemon_pid_`. Use with ASSERT_NO_FATAL_FAILURE.
  void StartDaemon(const std::vector<std::string>& args = {});

  // "-s", then waits until the daemon is gone. Use with ASSERT_NO_FATAL_FAILURE.
  void StopDaemon();

  // The starter's output so far, and its lines.
  std::string Output() const;
  std::vector<std::string> OutputLines() const;
  bool WaitForOutputLine(const std::string& line, int timeout_ms);

  // The texts of the event log lines; a line not of the form
  // "dd/MM/yyyy hh:mm:ss  text" fails the test.
  std::vector<std::string> LogTexts() const;
  // Waits until the log holds at least `count` lines.
  bool WaitForLogCount(size_t count, int timeout_ms = 3000);
  // Waits until the log holds a line with exactly `text`.
  bool WaitForLogText(const std::string& text, int timeout_ms = 3000);

  // Client options for the daemon's listen port, from `bind` when not empty.
  TOrderOptions Master(const std::string& bind = "") const;
  // Sends one scrambled frame as a master on 127.0.0.1.
  TOrderResult Order(const std::string& frame, const std::string& bind = "");

  // Makes this namespace's resolver read only `hosts` and ask a name server
  // on loopback, where none listens, so unknown names fail at once. Fails the
  // test when it cannot. Use with ASSERT_NO_FATAL_FAILURE.
  void UsePrivateResolver(const std::string& hosts);

  // Every qslx in the namespace.
  std::vector<pid_t> Daemons() const { return QslxProcesses(); }

  // Waits until the daemon is gone; false when it is still there.
  bool WaitForDaemonGone(int timeout_ms);

  // run_ with the output path a test may have changed.
  TDaemonRun& Run() const;

  std::unique_ptr<TDaemonRun> run_;
  // Parts of run_, by the names the tests use.
  TTempDir* temp_ = nullptr;
  TDaemonTree* tree_ = nullptr;
  std::string workdir_;      // the daemon's working directory
  std::string output_path_;  // the starter's standard output; a test may change it
  uint16_t port_ = 0;
  TConfigEntries config_;  // written by BuildTree
  bool private_resolver_ = false;
  pid_t daemon_pid_ = -1;
};

#endif  // VOLTMON_TESTS_QSLX_DAEMON_FIXTURE_H_
