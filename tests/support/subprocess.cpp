// Starting programs for the system tests. The child is set up between fork
// and exec with async-signal-safe calls only, since the test process may run
// helper threads (fake servers) at the same time.

#include "tests/support/subprocess.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/clock.h"
#include "tests/support/temp_dir.h"

namespace {

std::string ReadAll(int fd) {
  std::string content;
  char buffer[8192];
  off_t offset = 0;
  for (;;) {
    ssize_t n = pread(fd, buffer, sizeof buffer, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    content.append(buffer, static_cast<size_t>(n));
    offset += n;
  }
  return content;
}

// This process's environment with the changes of `changes` applied.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& changes) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) env.push_back(*entry);
  for (const std::string& change : changes) {
    const std::string name = change.substr(0, change.find('='));
    for (auto it = env.begin(); it != env.end();) {
      it = it->compare(0, name.size() + 1, name + "=") == 0 ? env.erase(it) : it + 1;
    }
    if (change.find('=') != std::string::npos) env.push_back(change);
  }
  return env;
}

// The argument and environment arrays of a child, made before fork so that
// the child only reads them.
struct TExecArgs {
  TExecArgs(const std::vector<std::string>& argv, const std::vector<std::string>& changes)
      : env(ChildEnvironment(changes)) {
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
  }
  std::vector<std::string> env;
  std::vector<char*> args;
  std::vector<char*> envp;
};

// In the child: the signal mask cleared, the standard descriptors, working
// directory and user of `options`, then the program. Async-signal-safe only.
[[noreturn]] void ExecChild(TExecArgs* exec, const TRunOptions& options, int in_fd, int out_fd,
                            int err_fd) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  int child_err = options.merge_stderr     ? out_fd
                  : options.stderr_fd >= 0 ? options.stderr_fd
                                           : err_fd;
  if (dup2(in_fd, 0) < 0 || dup2(out_fd, 1) < 0 || dup2(child_err, 2) < 0) _exit(126);
  if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
  if (options.uid >= 0) {
    gid_t gid = static_cast<gid_t>(options.uid);
    if (setgroups(1, &gid) != 0 || setgid(gid) != 0 ||
        setuid(static_cast<uid_t>(options.uid)) != 0) {
      _exit(126);
    }
  }
  execve(exec->args[0], exec->args.data(), exec->envp.data());
  _exit(127);
}

}  // namespace

TRunResult RunCommand(const std::vector<std::string>& argv, const TRunOptions& options) {
  TRunResult result;
  if (argv.empty()) return result;
  TExecArgs exec(argv, options.env);

  int out_fd = options.stdout_path.empty() ? memfd_create("stdout", MFD_CLOEXEC)
                                           : open(options.stdout_path.c_str(),
                                                  O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  int err_fd = memfd_create("stderr", MFD_CLOEXEC);
  int null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (out_fd < 0 || err_fd < 0 || null_fd < 0) {
    for (int fd : {out_fd, err_fd, null_fd}) {
      if (fd >= 0) close(fd);
    }
    return result;
  }

  pid_t pid = fork();
  if (pid == 0) {
    ExecChild(&exec, options, null_fd, out_fd, err_fd);
  }
  close(null_fd);
  if (pid < 0) {
    close(out_fd);
    close(err_fd);
    return result;
  }

  const int64_t deadline = NowMs() + options.timeout_ms;
  int status = 0;
  for (;;) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) break;
    if (NowMs() >= deadline) {
      result.timed_out = true;
      kill(pid, SIGKILL);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    SleepMs(2);
  }
  result.started = !(WIFEXITED(status) && WEXITSTATUS(status) == 127);
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  if (options.stdout_path.empty()) result.out = ReadAll(out_fd);
  result.err = ReadAll(err_fd);
  close(out_fd);
  close(err_fd);
  return result;
}

pid_t StartBackground(const std::vector<std::string>& argv, const TRunOptions& options) {
  if (argv.empty()) return -1;
  TExecArgs exec(argv, options.env);
  int out_fd = options.stdout_path.empty() ? open("/dev/null", O_WRONLY | O_CLOEXEC)
                                           : open(options.stdout_path.c_str(),
                                                  O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  int null_in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  int null_out = open("/dev/null", O_WRONLY | O_CLOEXEC);
  pid_t pid = -1;
  if (out_fd >= 0 && null_in >= 0 && null_out >= 0) {
    pid = fork();
    if (pid == 0) ExecChild(&exec, options, null_in, out_fd, null_out);
  }
  for (int fd : {out_fd, null_in, null_out}) {
    if (fd >= 0) close(fd);
  }
  return pid;
}

int EndProcess(pid_t pid, int grace_ms) {
  if (pid <= 0) return -1;
  // 0 while it runs, the pid once reaped, -1 when it is not our child.
  int status = 0;
  auto reap = [&](int flags) {
    pid_t done;
    do {
      done = waitpid(pid, &status, flags);
    } while (done < 0 && errno == EINTR);
    return done;
  };
  pid_t done = reap(WNOHANG);
  if (done == 0) {
    kill(pid, SIGTERM);
    const int64_t deadline = NowMs() + grace_ms;
    while ((done = reap(WNOHANG)) == 0 && NowMs() < deadline) SleepMs(5);
  }
  if (done == 0) {
    kill(pid, SIGKILL);
    done = reap(0);
  }
  return done == pid ? status : -1;
}

bool WaitUntil(const std::function<bool()>& done, int timeout_ms, int poll_ms) {
  const int64_t deadline = NowMs() + timeout_ms;
  for (;;) {
    if (done()) return true;
    if (NowMs() >= deadline) return false;
    SleepMs(poll_ms);
  }
}

std::string ProcStatusField(pid_t pid, const std::string& field) {
  std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
  for (const std::string& line : LinesOf(status)) {
    if (line.compare(0, field.size() + 1, field + ":") != 0) continue;
    std::string value = line.substr(field.size() + 1);
    size_t start = value.find_first_not_of(" \t");
    return start == std::string::npos ? "" : value.substr(start);
  }
  return "";
}

namespace {

std::vector<pid_t> AllProcesses() {
  std::vector<pid_t> pids;
  DIR* dir = opendir("/proc");
  if (dir == nullptr) return pids;
  while (struct dirent* entry = readdir(dir)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (pid > 0 && *end == '\0') pids.push_back(static_cast<pid_t>(pid));
  }
  closedir(dir);
  return pids;
}

}  // namespace

std::vector<pid_t> ChildrenOf(pid_t parent) {
  std::vector<pid_t> children;
  for (pid_t pid : AllProcesses()) {
    if (ParentOf(pid) == parent) children.push_back(pid);
  }
  return children;
}

std::vector<pid_t> ProcessesOfSession(pid_t session) {
  std::vector<pid_t> pids;
  for (pid_t pid : AllProcesses()) {
    // The session is the sixth field of "stat", the fourth after the name,
    // which ends at the last ')' and may hold blanks of its own.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const size_t name_end = text.rfind(')');
    if (name_end == std::string::npos) continue;
    std::istringstream fields(text.substr(name_end + 1));
    std::string state, parent, group;
    long sid = 0;
    if (fields >> state >> parent >> group >> sid && sid == session && state != "Z" &&
        state != "X") {
      pids.push_back(pid);
    }
  }
  return pids;
}

std::vector<pid_t> ProcessesNamed(const std::string& name) {
  std::vector<pid_t> pids;
  for (pid_t pid : AllProcesses()) {
    if (ProcStatusField(pid, "Name") == name && !ProcessGone(pid)) pids.push_back(pid);
  }
  return pids;
}

pid_t ParentOf(pid_t pid) {
  std::string value = ProcStatusField(pid, "PPid");
  return value.empty() ? -1 : static_cast<pid_t>(std::atol(value.c_str()));
}

bool ProcessGone(pid_t pid) {
  std::string state = ProcStatusField(pid, "State");
  return state.empty() || state[0] == 'Z' || state[0] == 'X';
}
