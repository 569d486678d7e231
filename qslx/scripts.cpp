// The daemon's one way of starting a program: RunProgram's direct mode
// (posix_spawn, no shell), whose result carries no information and is not
// looked at.
#include "qslx/scripts.h"

#include "common/process.h"

void StartScript(const std::string& path, const std::string& argument) {
  if (path.empty()) return;
  RunProgram(path, argument, false);
}
