// Runs commands of the installer's system tests inside a throwaway sandbox:
// private PID and mount namespaces with overlays on /usr and /etc, so that
// what an installation writes there lands in directories of the test and the
// host is never changed.
#ifndef VOLTMON_TESTS_INSTALL_SANDBOX_H_
#define VOLTMON_TESTS_INSTALL_SANDBOX_H_

#include <sys/stat.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace installtest {

struct TSandboxResult {
  int status = -1;     // exit status of the command, -1 when it did not run
  std::string output;  // its standard output
  std::string errors;  // its standard error
};

// One sandbox: the overlays' writes land below `base`, in usr/upper and
// etc/upper.
class TSandbox {
 public:
  explicit TSandbox(const std::string& base) : base_(base) {}

  // Runs `command` (a shell command line) inside, with `input` on its
  // standard input, after the shell lines `prepare` and followed by the shell
  // lines `after`. Refuses to run anything when /usr and /etc are not
  // overlays inside.
  TSandboxResult Run(const std::string& command, const std::string& input,
                     const std::string& prepare = "", const std::string& after = "");

  // The directory of the last run: its scripts' working directory, where
  // files they write by relative name are found.
  std::string LastRunDir() const { return base_ + "/run-" + std::to_string(runs_); }

  // Where a file written inside at `path` (below /usr or /etc) is found
  // outside afterwards.
  std::string Upper(const std::string& path) const;

 private:
  std::string base_;
  int runs_ = 0;
};

// stat of `path` without following a final symbolic link; false when absent.
bool StatPath(const std::string& path, struct stat* st);

}  // namespace installtest

#endif  // VOLTMON_TESTS_INSTALL_SANDBOX_H_
