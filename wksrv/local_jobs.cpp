// Local jobs. A pop-up goes to each terminal the way a broadcast to all users
// does: the login records name the terminals, each is opened without
// blocking (a terminal whose user pressed Ctrl-S must not hold the job) and
// without becoming our controlling terminal, and anything that is not a
// character device is left alone. Programs are started with posix_spawn,
// so that a job's thread forks no copy of the server; a detached thread
// waits for each one, so that none stays a zombie and nothing is waited on.

#include "wksrv/local_jobs.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>
#include <utmpx.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

extern char** environ;

namespace {

std::string SystemError(int error) {
  return std::strerror(error);
}

void Reap(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

std::string PopupText(const std::string& text, const std::string& when) {
  std::string line = text;
  std::replace_if(
      line.begin(), line.end(),
      [](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; }, ' ');
  return "\a\r\nMessage from the UPS master server wksrv (" + when + "):\r\n\r\n" + line +
         "\r\n\r\n";
}

bool WriteToTerminal(const std::string& path, const std::string& text, std::string* error) {
  int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    *error = path + ": " + SystemError(errno);
    return false;
  }
  struct stat status;
  bool ok = fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) && isatty(fd) == 1;
  if (!ok) {
    *error = path + ": not a terminal";
  } else {
    ssize_t written = write(fd, text.data(), text.size());
    if (written != static_cast<ssize_t>(text.size())) {
      ok = false;
      *error = path + ": " + (written < 0 ? SystemError(errno) : std::string("not all written"));
    }
  }
  close(fd);
  return ok;
}

std::vector<std::string> LoggedInTerminals() {
  // The login records are read by one thread at a time: the C library keeps
  // one position in them per process.
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  std::vector<std::string> terminals;
  setutxent();
  while (const utmpx* entry = getutxent()) {
    if (entry->ut_type != USER_PROCESS || entry->ut_user[0] == '\0') continue;
    std::string line(entry->ut_line, strnlen(entry->ut_line, sizeof entry->ut_line));
    // The line is a device below /dev; one that would leave it is ignored.
    if (line.empty() || line.find("..") != std::string::npos || line[0] == '/') continue;
    std::string path = "/dev/" + line;
    if (std::find(terminals.begin(), terminals.end(), path) == terminals.end()) {
      terminals.push_back(path);
    }
  }
  endutxent();
  return terminals;
}

bool PopupOnTerminals(const std::string& text, std::string* error) {
  time_t now = time(nullptr);
  char when[64] = "";
  struct tm local;
  if (localtime_r(&now, &local) != nullptr)
    strftime(when, sizeof when, "%d/%m/%Y %H:%M:%S", &local);
  const std::string message = PopupText(text, when);
  bool ok = true;
  error->clear();
  for (const std::string& terminal : LoggedInTerminals()) {
    std::string problem;
    if (!WriteToTerminal(terminal, message, &problem)) {
      ok = false;
      *error += (error->empty() ? "" : "; ") + problem;
    }
  }
  return ok;
}

void SystemLogLine(const std::string& text) {
  static std::once_flag opened;
  std::call_once(opened, [] { openlog("wksrv", LOG_PID, LOG_DAEMON); });
  syslog(LOG_NOTICE, "%s", text.c_str());
}

bool StartProgram(const std::vector<std::string>& argv, std::string* error) {
  if (argv.empty() || argv[0].empty()) {
    *error = "no program";
    return false;
  }
  // Checked before the start, not only by it: a program that cannot run is
  // then named with its reason, even where the start's own report is lost
  // (a user-mode emulator's spawn reports success and the child exits 127).
  struct stat st;
  int reason = 0;
  if (stat(argv[0].c_str(), &st) != 0) {
    reason = errno;
  } else if (!S_ISREG(st.st_mode)) {
    reason = EACCES;
  } else if (access(argv[0].c_str(), X_OK) != 0) {
    reason = errno;
  }
  if (reason != 0) {
    *error = argv[0] + ": " + SystemError(reason);
    return false;
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawnattr_t attributes;
  int result = posix_spawnattr_init(&attributes);
  if (result != 0) {
    *error = SystemError(result);
    return false;
  }
  // The job's thread blocks every signal and the server ignores some; the
  // program gets neither.
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  result = posix_spawn(&pid, args[0], nullptr, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  if (result != 0) {
    *error = argv[0] + ": " + SystemError(result);
    return false;
  }
  try {
    std::thread(Reap, pid).detach();
  } catch (const std::system_error&) {
    // No thread for it: it is reaped at once when it has already ended, and
    // otherwise stays a zombie until the server ends, which is only untidy.
    int status = 0;
    waitpid(pid, &status, WNOHANG);
  }
  return true;
}

std::vector<std::string> SplitCommand(const std::string& command) {
  std::vector<std::string> words;
  std::string word;
  for (char c : command) {
    if (c == ' ' || c == '\t') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}
