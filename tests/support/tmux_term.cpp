// The tmux driver of the console's system tests. Every call is one tmux
// client run on the test's own socket, so tests in parallel never meet and
// a test's server dies with it. Waits poll the screen against a deadline.
#include "tests/support/tmux_term.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/subprocess.h"

extern char** environ;

namespace {

// Runs argv, its standard output collected; false unless it exits with 0.
bool RunCollect(const std::vector<std::string>& argv, std::string* out, std::string* error) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
    *error = "pipe failed";
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (rc != 0) {
    close(pipe_fds[0]);
    *error = "cannot start " + argv[0];
    return false;
  }
  std::string collected;
  char buffer[4096];
  ssize_t n;
  while ((n = read(pipe_fds[0], buffer, sizeof buffer)) != 0) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    collected.append(buffer, static_cast<size_t>(n));
  }
  close(pipe_fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      *error = "waitpid failed";
      return false;
    }
  }
  if (out) *out = collected;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = argv.size() > 5 ? "tmux " + argv[5] + " failed" : "tmux failed";
    return false;
  }
  return true;
}

}  // namespace

TTmuxTerm::TTmuxTerm() {
  char pattern[] = "/tmp/vmtmux.XXXXXX";
  if (mkdtemp(pattern) != nullptr) {
    dir_ = pattern;
    socket_ = dir_ + "/socket";
  } else {
    error_ = "mkdtemp failed";
  }
}

TTmuxTerm::~TTmuxTerm() {
  if (started_) {
    // The pane's programs are a session of their own. One that outlives the
    // server (caught in its exit, say, by a sanitizer's leak check whose
    // helper the hang-up killed) would spin on a terminal that is gone and
    // slow every later test, so none is left.
    const pid_t session = ShellPid();
    Tmux({"kill-server"});
    if (session > 0 &&
        !WaitUntil([session] { return ProcessesOfSession(session).empty(); }, 1000)) {
      for (pid_t pid : ProcessesOfSession(session)) kill(pid, SIGKILL);
      WaitUntil([session] { return ProcessesOfSession(session).empty(); }, 3000);
    }
  }
  if (!dir_.empty()) {
    unlink((dir_ + "/tmux.conf").c_str());
    unlink((dir_ + "/gate").c_str());
    unlink(socket_.c_str());
    rmdir(dir_.c_str());
  }
}

bool TTmuxTerm::Tmux(const std::vector<std::string>& arguments, std::string* out) {
  std::vector<std::string> argv{"tmux", "-S", socket_, "-f", dir_ + "/tmux.conf"};
  if (utf8_) argv.insert(argv.begin() + 1, "-u");
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return RunCollect(argv, out, &error_);
}

bool TTmuxTerm::Start(const std::string& command, int columns, int lines, const std::string& term) {
  if (dir_.empty()) return false;
  {
    // No status line (the pane is the whole window), ESC passed on at once,
    // the pane kept after its command ends, the size fixed by the test.
    std::ofstream conf(dir_ + "/tmux.conf");
    conf << "set -g status off\nset -sg escape-time 0\nset -g remain-on-exit on\n"
         << "set -g default-terminal " << term << "\n";
    if (!conf) {
      error_ = "cannot write tmux.conf";
      return false;
    }
  }
  // The command waits at a gate until the pane is set up: output of a
  // command that starts at once can be lost while tmux prepares the pane.
  const std::string gate = dir_ + "/gate";
  if (mkfifo(gate.c_str(), 0600) != 0) {
    error_ = "mkfifo failed";
    return false;
  }
  started_ =
      Tmux({"new-session", "-d", "-s", "t", "-x", std::to_string(columns), "-y",
            std::to_string(lines), "/bin/sh", "-c", "read _ < \"$0\"; eval \"$1\"", gate, command});
  if (!started_) return false;
  if (!record_path_.empty() &&
      !Tmux({"pipe-pane", "-t", "t", "-O", "cat >> '" + record_path_ + "'"})) {
    return false;
  }
  Capture();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int fd;
  while ((fd = open(gate.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0) {
    if (errno != ENXIO || std::chrono::steady_clock::now() >= deadline) {
      error_ = "the pane's shell did not start";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  bool opened = write(fd, "\n", 1) == 1;
  close(fd);
  if (!opened) error_ = "cannot open the gate";
  return opened;
}

bool TTmuxTerm::SendKeys(const std::vector<std::string>& keys) {
  std::vector<std::string> arguments{"send-keys", "-t", "t"};
  arguments.insert(arguments.end(), keys.begin(), keys.end());
  return Tmux(arguments);
}

bool TTmuxTerm::SendText(const std::string& text) {
  return Tmux({"send-keys", "-t", "t", "-l", "--", text});
}

std::string TTmuxTerm::Capture(bool colors, bool history) {
  std::string out;
  std::vector<std::string> arguments{"capture-pane", "-p", "-t", "t"};
  if (colors) arguments.push_back("-e");
  if (history) arguments.insert(arguments.end(), {"-S", "-"});
  Tmux(arguments, &out);
  return out;
}

bool TTmuxTerm::WaitFor(const std::string& text, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::string screen;
  for (;;) {
    screen = Capture(false, true);
    if (screen.find(text) != std::string::npos) return true;
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  error_ = "\"" + text + "\" not shown; the screen was:\n" + screen;
  return false;
}

bool TTmuxTerm::WaitForGone(const std::string& text, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::string screen;
  for (;;) {
    screen = Capture();
    if (screen.find(text) == std::string::npos) return true;
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  error_ = "\"" + text + "\" still shown; the screen was:\n" + screen;
  return false;
}

bool TTmuxTerm::Resize(int columns, int lines) {
  return Tmux(
      {"resize-window", "-t", "t", "-x", std::to_string(columns), "-y", std::to_string(lines)});
}

std::string TTmuxTerm::Display(const std::string& format) {
  std::string out;
  if (!Tmux({"display-message", "-p", "-t", "t", format}, &out)) return "";
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

pid_t TTmuxTerm::ShellPid() {
  std::string out;
  if (!Tmux({"display-message", "-p", "-t", "t", "#{pane_pid}"}, &out)) return -1;
  return static_cast<pid_t>(std::atoi(out.c_str()));
}

pid_t TTmuxTerm::ChildPid() {
  pid_t shell = ShellPid();
  if (shell <= 0) return -1;
  std::ifstream children("/proc/" + std::to_string(shell) + "/task/" + std::to_string(shell) +
                         "/children");
  pid_t child = -1;
  if (children >> child) return child;
  return -1;
}

bool TTmuxTerm::Ended() {
  std::string out;
  return Tmux({"display-message", "-p", "-t", "t", "#{pane_dead}"}, &out) && out[0] == '1';
}

bool TextsInOrder(const std::string& screen, const std::vector<std::string>& texts) {
  size_t from = 0;
  for (const std::string& text : texts) {
    if (text.empty()) continue;
    const size_t at = screen.find(text, from);
    if (at == std::string::npos) return false;
    from = at + text.size();
  }
  return true;
}

bool HasWord(const std::string& text, const std::string& word) {
  std::istringstream words(text);
  std::string each;
  while (words >> each) {
    if (each == word) return true;
  }
  return false;
}
