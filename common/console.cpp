// Plain console lines on standard output. Every line is flushed at once:
// a daemon's starter may read it through a pipe, and a line still in the
// buffer at fork or detach would be printed twice or lost.
#include "common/console.h"

#include <unistd.h>

#include <cstdio>

#include "common/process.h"

const char kRightsNotice[] = "Copyright (C) 2026 Voltmon Manager team. All rights reserved.";
const char kWattkeepVersion[] = "1.0.16.0";
const char kQsSystemVersion[] = "1.0.9.5";

namespace {

const char kCreditsLine[] = "Designed and developed by the Voltmon Manager team";
const char kInvalidSetup[] = "Invalid setup. Pls. uninstall and then install this software again.";

void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace

void Beep() {
  if (isatty(STDERR_FILENO)) {
    std::fputc('\a', stderr);
    std::fflush(stderr);
  } else if (isatty(STDOUT_FILENO)) {
    std::fputc('\a', stdout);
    std::fflush(stdout);
  }
}

void PrintAlert(const std::string& text) {
  Beep();
  PrintLine(text);
}

void PrintMessage(const std::string& ident, const std::string& text) {
  PrintLine(ident.empty() ? text : ident + ": " + text);
}

void PrintInvalidSetup() {
  PrintAlert(kInvalidSetup);
}

void PrintCredits() {
  PrintMessage("", kCreditsLine);
  PrintLine("");
}

void PrintVersionBlock(const std::string& module_line) {
  PrintMessage("", "Voltmon Manager");
  PrintMessage("", module_line);
  PrintMessage("", kRightsNotice);
  PrintMessage("", "");
}

bool RequireRootUser() {
  if (IsRootUser()) return true;
  Beep();
  PrintMessage("", "Please login as root to use this program !");
  PrintMessage("", "");
  return false;
}

void ClearScreen() {
  RunProgram("clear", "", true);
}
