// The root check, the lookup of a detached daemon through "/proc", program
// start and signals. RunProgram's direct mode runs on worker threads of the
// daemon: everything the child needs is prepared before the spawn, and the
// child runs nothing of ours before its exec (another thread may hold the
// allocator's lock at that moment).
#include "common/process.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <vector>

#include "common/files.h"

namespace {

// Process-wide start-up choices, set before any thread runs.
struct TProgramStartOptions {
  TProgramStartOptions() { sigemptyset(&child_mask); }
  bool use_child_mask = false;
  sigset_t child_mask;
};

TProgramStartOptions& StartOptions() {
  static TProgramStartOptions options;
  return options;
}

bool AccountName(uid_t uid, std::string* name) {
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 4096);
  for (int attempt = 0; attempt < 8; ++attempt) {
    struct passwd entry;
    struct passwd* found = nullptr;
    int rc = getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
    if (rc == EINTR) continue;
    if (rc == ERANGE) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (rc != 0 || found == nullptr) return false;
    *name = found->pw_name;
    return true;
  }
  return false;
}

}  // namespace

bool IsRootUser() {
  std::string root_name;
  std::string user_name;
  return AccountName(0, &root_name) && AccountName(getuid(), &user_name) && root_name == user_name;
}

TTextList ReadProcStatus(const std::string& file) {
  std::string contents;
  int error = ReadWholeFile(file, &contents);
  TTextList all = SplitLines(contents);
  if (error != 0 && !contents.empty() && contents.back() != '\n') all.pop_back();
  TTextList lines;
  for (const std::string& line : all) {
    if (line.empty()) break;
    lines.push_back(line);
  }
  return lines;
}

std::string StatusField(const std::string& prefix, const TTextList& lines) {
  for (const std::string& line : lines) {
    if (line.find(prefix) != std::string::npos) return line.substr(prefix.size());
  }
  return "";
}

namespace {

// Whether "/proc/<pid>/comm" shows `name` as the "Name:" line would: the
// kernel escapes only control characters and the backslash there.
bool CommShowsNameAsIs(const std::string& name) {
  for (char c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '\\') return false;
  }
  return !name.empty();
}

// False when the short "comm" file of the entry `id` of the open "/proc"
// `dir` says it is another program; true when it names `name` or cannot be
// read (the status then decides). One open, one read: there are hundreds.
bool MayBeNamed(DIR* dir, const char* id, const std::string& name) {
  const std::string relative = std::string(id) + "/comm";
  int fd;
  do {
    fd = openat(dirfd(dir), relative.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return true;
  char comm[64];
  ssize_t n;
  do {
    n = read(fd, comm, sizeof comm);
  } while (n < 0 && errno == EINTR);
  close(fd);
  if (n < 0) return true;
  size_t length = static_cast<size_t>(n);
  if (length > 0 && comm[length - 1] == '\n') --length;
  return name.compare(0, std::string::npos, comm, length) == 0;
}

}  // namespace

pid_t FindDaemonPid(const std::string& name, pid_t parent, pid_t exclude,
                    const std::string& proc_root) {
  // The status of every process is long to make; the name alone is cheap.
  const bool use_comm = CommShowsNameAsIs(name);
  DIR* dir = opendir(proc_root.c_str());
  if (dir == nullptr) return -1;
  pid_t result = -1;
  for (;;) {
    errno = 0;
    struct dirent* entry = readdir(dir);
    if (entry == nullptr) break;
    int32_t entry_id = 0;
    if (!ParseInt32(entry->d_name, &entry_id) || entry_id <= 0) continue;
    if (use_comm && !MayBeNamed(dir, entry->d_name, name)) continue;
    TTextList status = ReadProcStatus(proc_root + "/" + entry->d_name + "/status");
    if (StatusField("Name:\t", status) != name) continue;
    if (StatusField("PPid:\t", status) != std::to_string(parent)) continue;
    // Any user can start a program of that name; only root's counts.
    if (!StatusOfRoot(status)) continue;
    // A daemon that has ended but is not yet reaped runs no more.
    if (StatusOfDead(status)) continue;
    // A "Pid:" value that is not a positive number (say, taken from a "PPid:"
    // line written first) must never become a target: signalling 0 or -1
    // would reach whole process groups.
    int32_t pid = 0;
    if (!ParseInt32(StatusField("Pid:\t", status), &pid) || pid <= 0 || pid == exclude) continue;
    result = pid;
    break;
  }
  closedir(dir);
  return result;
}

bool StatusOfDead(const TTextList& lines) {
  const std::string state = StatusField("State:\t", lines);
  return !state.empty() && (state[0] == 'Z' || state[0] == 'X');
}

bool StatusOfRoot(const TTextList& lines) {
  const std::string uids = StatusField("Uid:\t", lines);
  return uids.substr(0, uids.find('\t')) == "0";
}

void SetChildSignalMask(const sigset_t* mask) {
  TProgramStartOptions& options = StartOptions();
  options.use_child_mask = mask != nullptr;
  if (mask != nullptr) options.child_mask = *mask;
}

bool RunProgram(const std::string& path, const std::string& arguments, bool shell,
                bool must_exist) {
  const TProgramStartOptions& options = StartOptions();
  if (must_exist && !PathExists(path)) return false;
  if (shell) {
    std::string command = path + " " + arguments;
    return system(command.c_str()) == 0;
  }

  std::string program = path;
  std::string argument = arguments;
  char* argv[] = {&program[0], &argument[0], nullptr};

  // posix_spawn rather than fork: a fork would mark every page of the daemon
  // copy-on-write, and each page its threads write afterwards would fault;
  // the spawn shares the address space until the exec, and the child runs
  // none of our code. Same argument vector, same mask, nothing waited for.
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return false;
  if (options.use_child_mask) {
    posix_spawnattr_setsigmask(&attributes, &options.child_mask);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  }
  for (int attempt = 0; attempt < 4; ++attempt) {
    pid_t pid = -1;
    int error = posix_spawn(&pid, argv[0], nullptr, &attributes, argv, environ);
    if (error != EAGAIN) break;
    struct timespec pause = {0, 50 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  posix_spawnattr_destroy(&attributes);
  // A program that could not be executed is reported by posix_spawn, which
  // collects its child itself (an emulator's child ends with 127 and is
  // reaped by the caller's SIGCHLD handling); the result carries no
  // information either way.
  return false;
}

bool SendSignal(pid_t pid, int signal) {
  // kill() treats 0 and negative ids as process groups or every process; a
  // failed lookup (-1) must not turn into a broadcast.
  if (pid <= 0) return false;
  return kill(pid, signal) == 0;
}
