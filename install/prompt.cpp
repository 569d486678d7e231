// Questions and answers. Answers are read a byte at a time from the raw
// descriptor: a buffered read would swallow input meant for the
// configuration programs the installer may start. End of input can never be
// answered, so it ends the installation the way any other abort does.
#include "install/prompt.h"

#include <errno.h>
#include <unistd.h>

#include <cstdio>

#include "common/console.h"
#include "common/text.h"

std::optional<bool> ParseYesNo(const std::string& answer) {
  if (answer == "Y" || answer == "y") return true;
  if (answer == "N" || answer == "n") return false;
  return std::nullopt;
}

int ParseSelection(const std::string& answer, int count) {
  int32_t value = 0;
  if (!ParseInt32(answer, &value)) return 0;
  if (value < 1 || value > count) return 0;
  return value;
}

std::string CenteredText(const std::string& text, int width) {
  const int64_t pad = (static_cast<int64_t>(width) - static_cast<int64_t>(text.size())) / 2;
  return pad > 0 ? std::string(static_cast<size_t>(pad), ' ') + text : text;
}

bool ReadAnswerLine(int fd, std::string* line) {
  line->clear();
  bool got_any = false;
  for (;;) {
    char c;
    const ssize_t n = read(fd, &c, 1);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return got_any;
    got_any = true;
    if (c == '\n') return true;
    *line += c;
  }
}

void WriteText(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void WriteLine(const std::string& text) {
  WriteText(text + "\n");
}

std::string ReadAnswerOrAbort() {
  std::string answer;
  if (!ReadAnswerLine(STDIN_FILENO, &answer)) {
    WriteLine("");
    AbortInstall();
  }
  return answer;
}

bool AskYesNo(const std::string& question) {
  for (;;) {
    WriteText(question + " [y/n] ?: ");
    const std::optional<bool> choice = ParseYesNo(ReadAnswerOrAbort());
    if (choice) return *choice;
    PrintAlert("Wrong choice !");
  }
}

void ShowInstallError(const std::string& text) {
  WriteLine("");
  PrintAlert(text);
  WriteLine("");
}

void AbortInstall(const std::string& text) {
  PrintAlert(text.empty() ? std::string("Installation aborted.")
                          : text + "  Installation aborted.");
  WriteLine("");
  throw TInstallAborted();
}
