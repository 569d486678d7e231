// The sandbox of the installer's system tests. nsrun provides the namespaces
// and the overlays; the script run inside checks that both overlays are in
// place before it runs anything, since the tests remove init directories
// and write below /usr and /etc.
#include "tests/install/sandbox.h"

#include <errno.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace installtest {
namespace {

const char kGuard[] =
    "set -u\n"
    "for d in /usr /etc; do\n"
    "  awk -v d=\"$d\" '$5 == d && / - overlay / { found = 1 } END { exit !found }' "
    "/proc/self/mountinfo || { echo \"sandbox: $d is not an overlay\" >&2; exit 99; }\n"
    "done\n"
    "export TERM=dumb\n"
    "if [ -n \"${VM_SANDBOX_ASAN_OPTIONS+x}\" ]; then\n"
    "  export ASAN_OPTIONS=$VM_SANDBOX_ASAN_OPTIONS\n"
    "else\n"
    "  unset ASAN_OPTIONS\n"
    "fi\n"
    "unset VM_SANDBOX_ASAN_OPTIONS\n";

// Runs argv with stdout and stderr to `log`; the exit status or -1.
int Spawn(const std::vector<std::string>& args, const std::string& log) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    FILE* out = std::freopen(log.c_str(), "w", stdout);
    if (out == nullptr || dup2(STDOUT_FILENO, STDERR_FILENO) < 0) _exit(126);
    // The leak checker cannot run in the sandbox's PID 1; the programs
    // started inside get the caller's sanitizer options back.
    const char* options = getenv("ASAN_OPTIONS");
    if (options != nullptr) setenv("VM_SANDBOX_ASAN_OPTIONS", options, 1);
    const std::string runner_options =
        (options != nullptr && *options != '\0' ? std::string(options) + ":" : std::string()) +
        "detect_leaks=0";
    setenv("ASAN_OPTIONS", runner_options.c_str(), 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

ScratchDir::ScratchDir() {
  char name[] = "/tmp/vminstall.XXXXXX";
  if (mkdtemp(name) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = name;
  chmod(path_.c_str(), 0755);
}

ScratchDir::~ScratchDir() {
  if (getenv("VM_KEEP_TEMP") != nullptr) return;
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

void WriteFile(const std::string& path, const std::string& content, mode_t mode) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + path);
  }
  chmod(path.c_str(), mode);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TextList SplitLines(const std::string& text) {
  TextList lines;
  std::string::size_type start = 0;
  while (start < text.size()) {
    const std::string::size_type end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

SandboxResult Sandbox::Run(const std::string& command, const std::string& input,
                           const std::string& prepare, const std::string& after) {
  const std::string run = base_ + "/run-" + std::to_string(++runs_);
  WriteFile(run + "/input", input);
  WriteFile(run + "/inner.sh", std::string(kGuard) + "cd " + run + " || exit 99\n" + prepare +
                                   "\n( " + command +
                                   " ) < input > output 2> errors\n"
                                   "echo $? > status\n" +
                                   after + "\nexit 0\n");
  const int nsrun =
      Spawn({VM_NSRUN_PATH, "--overlay", "/usr:" + base_ + "/usr", "--overlay",
             "/etc:" + base_ + "/etc", "--timeout", "60", "--", "/bin/bash", run + "/inner.sh"},
            run + "/sandbox.log");
  SandboxResult result;
  result.output = ReadFile(run + "/output");
  result.errors = ReadFile(run + "/errors");
  const std::string status = ReadFile(run + "/status");
  if (nsrun == 0 && !status.empty()) result.status = std::stoi(status);
  if (nsrun != 0) result.errors += "sandbox failed: " + ReadFile(run + "/sandbox.log");
  return result;
}

std::string Sandbox::Upper(const std::string& path) const {
  if (path.rfind("/usr/", 0) == 0) return base_ + "/usr/upper/" + path.substr(5);
  if (path.rfind("/etc/", 0) == 0) return base_ + "/etc/upper/" + path.substr(5);
  throw std::invalid_argument(path + " is not below /usr or /etc");
}

bool StatPath(const std::string& path, struct stat* st) {
  return lstat(path.c_str(), st) == 0;
}

}  // namespace installtest
