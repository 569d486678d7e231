// The login session fixture. The records are written with the C library's own
// pututxline into an empty file at its compiled-in path, which on Debian lies
// below /run (through the /var/run link).

#include "tests/support/login_session.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/time.h>
#include <unistd.h>
#include <utmpx.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "tests/support/temp_dir.h"

TLoginSession::TLoginSession(const std::string& dir) : run_("/run", dir + "/host-run") {}

TLoginSession::~TLoginSession() {
  Stop();
}

bool TLoginSession::Start(const std::string& user, std::string* error) {
  char records[PATH_MAX];
  if (realpath("/var/run", records) == nullptr || std::string(records) != "/run") {
    *error = "the login records are not below /run here";
    return false;
  }
  if (!run_.Start(error, "utmp")) return false;
  int fd = open(_PATH_UTMPX, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = std::string("create ") + _PATH_UTMPX + ": " + std::strerror(errno);
    return false;
  }
  close(fd);

  master_fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[64];
  if (master_fd_ < 0 || grantpt(master_fd_) != 0 || unlockpt(master_fd_) != 0 ||
      ptsname_r(master_fd_, name, sizeof name) != 0) {
    *error = std::string("pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  terminal_ = name;
  // Reads never wait: Received takes what is there.
  int flags = fcntl(master_fd_, F_GETFL);
  if (flags < 0 || fcntl(master_fd_, F_SETFL, flags | O_NONBLOCK) != 0) {
    *error = std::string("fcntl: ") + std::strerror(errno);
    return false;
  }

  struct utmpx entry;
  std::memset(&entry, 0, sizeof entry);
  entry.ut_type = USER_PROCESS;
  entry.ut_pid = getpid();
  const std::string line = terminal_.substr(std::strlen("/dev/"));
  std::strncpy(entry.ut_line, line.c_str(), sizeof entry.ut_line);
  std::strncpy(entry.ut_id, line.c_str() + line.size() - std::min<size_t>(line.size(), 4),
               sizeof entry.ut_id);
  std::strncpy(entry.ut_user, user.c_str(), sizeof entry.ut_user);
  struct timeval now;
  gettimeofday(&now, nullptr);
  entry.ut_tv.tv_sec = static_cast<int32_t>(now.tv_sec);
  setutxent();
  bool written = pututxline(&entry) != nullptr;
  endutxent();
  if (!written) {
    *error = std::string("pututxline: ") + std::strerror(errno);
    return false;
  }
  return true;
}

void TLoginSession::Stop() {
  if (master_fd_ >= 0) close(master_fd_);
  master_fd_ = -1;
  run_.Stop();
}

std::string TLoginSession::Received() {
  char buffer[4096];
  while (master_fd_ >= 0) {
    ssize_t n = read(master_fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    received_.append(buffer, static_cast<size_t>(n));
  }
  return received_;
}
