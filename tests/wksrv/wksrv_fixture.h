// The fixture of the master server's system tests: an installation tree with
// the real wksrv, NUT's dummy UPS behind upsd on 127.0.0.1:3493, and, on
// demand, real qslx slaves, silent slaves, a mail server and a /dev/log sink.
// Each case runs in namespaces of its own (nsrun), so fixed ports serve.
#ifndef VOLTMON_TESTS_WKSRV_WKSRV_FIXTURE_H_
#define VOLTMON_TESTS_WKSRV_WKSRV_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/daemon_tree.h"
#include "tests/support/nut_fixture.h"
#include "tests/support/slave_daemon.h"
#include "tests/support/slowdown.h"
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"

constexpr uint16_t kNutPort = 3493;
// wksrv polls every second in these tests; one poll and a job's start.
constexpr int kReactMs = 5000 * kSlowdown;

class WksrvTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The jobs of event `code` ("$LOG", RemoteJob(...), ...), replacing any.
  void OnEvent(int code, const std::vector<std::string>& jobs);
  // "CODE,127.0.0.1,PORT".
  static std::string RemoteJob(const std::string& code, uint16_t port);

  // A real qslx on `port`, its scripts recorders; `configure` may change its
  // settings first. Fails the test when it does not start.
  TSlaveDaemon* StartSlave(uint16_t port, void (*configure)(TConfigEntries*) = nullptr);
  // A slave that accepts connections on `port` and never says a word; the
  // listening socket, -1 when it could not be made (the test failed).
  int StartSilentSlave(uint16_t port);
  // Whether a connection waits on the silent slave's socket.
  static bool ConnectionWaiting(int listen_fd);

  // Writes bin/wksrv.cfg from `wattkeep_`, `master_` and the events, starts
  // bin/wksrv and waits until it runs detached. Use with
  // ASSERT_NO_FATAL_FAILURE.
  void StartWksrv();
  TRunResult RunWksrv(const std::vector<std::string>& args);
  std::vector<pid_t> Servers() const { return ProcessesNamed("wksrv"); }

  // Sets ups.status through upsd; fails the test when refused.
  void SetStatus(const std::string& status);

  // The event's name as the language file gives it, up to its first
  // placeholder or line break, so that it is found in a line whatever fills
  // them.
  std::string EventTag(int code) const;
  // The texts of the master's log lines (data/wk_log.txt), in order.
  std::vector<std::string> LogTexts() const;
  // The position of the first log text holding `code`'s tag; -1 if none.
  int LogIndexOf(int code) const;
  // Waits until the log holds `code`'s tag.
  bool WaitForEventLogged(int code, int timeout_ms = kReactMs) const;

  // The program the tests give as ShutdownCommand: a recorder noting its
  // starts in `record`, started with the arguments "-h now".
  std::string ShutdownRecorder(const std::string& record);

  std::unique_ptr<TTempDir> temp_;
  std::string root_;  // the installation, with trailing "/"
  std::unique_ptr<TNutUps> nut_;
  std::vector<std::unique_ptr<TSlaveDaemon>> slaves_;
  std::vector<int> silent_fds_;
  // Section "Wattkeep" without the events, and section "Master".
  TConfigEntries wattkeep_;
  TConfigEntries master_;
  std::map<int, std::vector<std::string>> events_;
};

#endif  // VOLTMON_TESTS_WKSRV_WKSRV_FIXTURE_H_
