// A user logged in on a pseudo-terminal, as the system's login records show
// it, so that what a program writes to the terminals of the logged-in users
// can be read back. The records live in a shadowed /run (TShadowDir), so the
// host's are neither read nor changed. Only in a private mount namespace.
#ifndef VOLTMON_TESTS_SUPPORT_LOGIN_SESSION_H_
#define VOLTMON_TESTS_SUPPORT_LOGIN_SESSION_H_

#include <memory>
#include <string>

#include "tests/support/shadow_dir.h"

class TLoginSession {
 public:
  // `dir` is an existing directory where the host's /run stays reachable.
  explicit TLoginSession(const std::string& dir);
  ~TLoginSession();  // Stop()
  TLoginSession(const TLoginSession&) = delete;
  TLoginSession& operator=(const TLoginSession&) = delete;

  // Opens the terminal and records `user` as logged in on it, alone. False
  // with `*error` set.
  bool Start(const std::string& user, std::string* error);
  void Stop();

  // Everything written to the terminal so far.
  std::string Received();
  // The terminal's device, "/dev/pts/N".
  const std::string& terminal() const { return terminal_; }

 private:
  TShadowDir run_;
  int master_fd_ = -1;
  std::string terminal_;
  std::string received_;
};

#endif  // VOLTMON_TESTS_SUPPORT_LOGIN_SESSION_H_
