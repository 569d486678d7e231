// The sandbox of the installer's system tests. nsrun provides the namespaces
// and the overlays; the script run inside checks that both overlays are in
// place before it runs anything, since the tests remove init directories
// and write below /usr and /etc.
#include "tests/install/sandbox.h"

#include <stdlib.h>

#include <stdexcept>

#include "tests/support/subprocess.h"

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

}  // namespace

TSandboxResult TSandbox::Run(const std::string& command, const std::string& input,
                             const std::string& prepare, const std::string& after) {
  const std::string run = base_ + "/run-" + std::to_string(++runs_);
  TSandboxResult result;
  if (!WriteFile(run + "/input", input) ||
      !WriteFile(run + "/inner.sh", std::string(kGuard) + "cd " + run + " || exit 99\n" + prepare +
                                        "\n( " + command +
                                        " ) < input > output 2> errors\n"
                                        "echo $? > status\n" +
                                        after + "\nexit 0\n")) {
    result.errors = "cannot write the sandbox's script below " + run;
    return result;
  }
  TRunOptions options;
  options.stdout_path = run + "/sandbox.log";
  options.merge_stderr = true;
  options.timeout_ms = 90000;  // nsrun's own limit comes first
  // The leak checker cannot run in the sandbox's PID 1; the programs started
  // inside get the caller's sanitizer options back.
  const char* asan = getenv("ASAN_OPTIONS");
  if (asan != nullptr) options.env.push_back(std::string("VM_SANDBOX_ASAN_OPTIONS=") + asan);
  options.env.push_back(
      "ASAN_OPTIONS=" + (asan != nullptr && *asan != '\0' ? std::string(asan) + ":" : "") +
      "detect_leaks=0");
  const TRunResult runner = RunCommand(
      {VM_NSRUN_PATH, "--overlay", "/usr:" + base_ + "/usr", "--overlay", "/etc:" + base_ + "/etc",
       "--timeout", "60", "--", "/bin/bash", run + "/inner.sh"},
      options);
  const int nsrun = runner.exit_code;
  result.output = ReadFile(run + "/output");
  result.errors = ReadFile(run + "/errors");
  const std::string status = ReadFile(run + "/status");
  if (nsrun == 0 && !status.empty()) result.status = std::stoi(status);
  if (nsrun != 0) result.errors += "sandbox failed: " + ReadFile(run + "/sandbox.log");
  return result;
}

std::string TSandbox::Upper(const std::string& path) const {
  if (path.rfind("/usr/", 0) == 0) return base_ + "/usr/upper/" + path.substr(5);
  if (path.rfind("/etc/", 0) == 0) return base_ + "/etc/upper/" + path.substr(5);
  throw std::invalid_argument(path + " is not below /usr or /etc");
}

bool StatPath(const std::string& path, struct stat* st) {
  return lstat(path.c_str(), st) == 0;
}

}  // namespace installtest
