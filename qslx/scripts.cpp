// The daemon's one way of starting a program: fork and execv in direct mode,
// the result of which carries no information and is not looked at.
#include "qslx/scripts.h"

#include "common/process.h"

void StartScript(const std::string& path, const std::string& argument) {
  if (path.empty()) return;
  RunProgram(path, argument, false);
}
