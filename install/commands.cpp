// Composes the installer's shell command lines. Paths come from the packet
// and from the directory the installer was started in, so any of them may
// hold blanks or shell characters; each is passed as a single quoted word,
// while plain paths keep the exact form of the documented command lines.
#include "install/commands.h"

#include <cstring>

std::string ShellQuote(const std::string& path) {
  static const char kSafe[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-+./,:@%";
  bool plain = !path.empty();
  for (char c : path) {
    if (c == '\0' || std::strchr(kSafe, c) == nullptr) {
      plain = false;
      break;
    }
  }
  if (plain) return path;
  std::string quoted = "'";
  for (char c : path) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  quoted += "'";
  return quoted;
}

std::string CopyCommand(const std::string& source, const std::string& destination) {
  return "cp -f " + ShellQuote(source) + " " + ShellQuote(destination) + " > /dev/null";
}

std::string PermissionCommand(const std::string& mode_letter, const std::string& path) {
  const char* mode = "440";
  if (mode_letter == "e") {
    mode = "770";
  } else if (mode_letter == "w") {
    mode = "660";
  }
  const std::string word = ShellQuote(path);
  return "chown root:0 " + word + " && chmod " + mode + " " + word + " > /dev/null";
}

std::string LinkCommand(const std::string& target, const std::string& link) {
  return "ln -s -f " + ShellQuote(target) + " " + ShellQuote(link) + " > /dev/null";
}

std::string PagerCommand(const std::string& path, bool input_is_terminal) {
  return "more " + ShellQuote(path) + (input_is_terminal ? "" : " < /dev/null") +
         "; sleep 1 2> /dev/null";
}
