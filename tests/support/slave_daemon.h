// A real qslx slave beside the code under test: its own installation tree
// (TDaemonTree) and its own PID namespace, so that several run at once in one
// test (a second qslx refuses to start beside the first), each on its own
// port, all in the test's network namespace.
#ifndef VOLTMON_TESTS_SUPPORT_SLAVE_DAEMON_H_
#define VOLTMON_TESTS_SUPPORT_SLAVE_DAEMON_H_

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "tests/support/daemon_tree.h"

class TSlaveDaemon {
 public:
  // `dir` is an existing empty directory; the slave takes master 127.0.0.1
  // and listens on `port` (TDaemonTree::DefaultConfig).
  TSlaveDaemon(const std::string& dir, const std::string& qslx_binary, uint16_t port);
  ~TSlaveDaemon();  // Stop()
  TSlaveDaemon(const TSlaveDaemon&) = delete;
  TSlaveDaemon& operator=(const TSlaveDaemon&) = delete;

  // The settings written at Start; change them before.
  TConfigEntries& config() { return config_; }
  const TDaemonTree& tree() const { return tree_; }
  uint16_t port() const { return port_; }

  // Lays out the tree, starts qslx in a new PID namespace and waits (bounded)
  // until it reports that it started. False with `*error` set.
  bool Start(std::string* error);
  // Ends the namespace, and with it the daemon and its scripts.
  void Stop();

  // The texts of the slave's event log lines, in order.
  std::vector<std::string> LogTexts() const;

 private:
  std::string dir_;
  std::string qslx_binary_;
  uint16_t port_;
  TDaemonTree tree_;
  TConfigEntries config_;
  pid_t namespace_pid_ = -1;
};

#endif  // VOLTMON_TESTS_SUPPORT_SLAVE_DAEMON_H_
