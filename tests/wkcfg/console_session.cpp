// The console session helper: everything a system test case of the console
// repeats, so that a case is the keys it types and the texts it expects.
#include "tests/wkcfg/console_session.h"

#include <signal.h>

const char kTestModel[] = "Quillon 650";

namespace {

::testing::AssertionResult Result(bool ok, const std::string& what, const TTmuxTerm& term) {
  if (ok) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << what << ": " << term.error();
}

}  // namespace

ConsoleSession::ConsoleSession(const std::string& config) {
  std::string error;
  EXPECT_TRUE(tree_.Build(VM_WKCFG_PATH, VM_PACKET_DIR, config, &error)) << error;
}

::testing::AssertionResult ConsoleSession::Start(const std::string& arguments, int columns,
                                                 int lines, const std::string& environment) {
  // The shell outlives a Ctrl-C as an interactive one would, then reports.
  const std::string command = "trap : INT; cd " + tree_.root() + " && " + environment +
                              tree_.Program() + (arguments.empty() ? "" : " " + arguments) +
                              "; s=$?; stty -a; echo \"status=$s\"" +
                              (keep_pane_ ? "; exec cat > /dev/null" : "");
  return Result(term_.Start(command, columns, lines), "cannot start the console", term_);
}

::testing::AssertionResult ConsoleSession::Shows(const std::string& text, int timeout_ms) {
  return Result(term_.WaitFor(text, timeout_ms), "\"" + text + "\" not shown", term_);
}

::testing::AssertionResult ConsoleSession::Hides(const std::string& text, int timeout_ms) {
  return Result(term_.WaitForGone(text, timeout_ms), "\"" + text + "\" still shown", term_);
}

::testing::AssertionResult ConsoleSession::Keys(const std::vector<std::string>& keys) {
  return Result(term_.SendKeys(keys), "send-keys failed", term_);
}

::testing::AssertionResult ConsoleSession::Type(const std::string& text) {
  return Result(term_.SendText(text), "typing failed", term_);
}

::testing::AssertionResult ConsoleSession::EndedCleanly(int status) {
  const std::string mark = "status=" + std::to_string(status);
  if (!term_.WaitFor(mark)) return Result(false, "no " + mark, term_);
  const std::string screen = term_.Capture(false, true);
  for (const char* mode : {"echo", "icanon"}) {
    if (!HasWord(screen, mode))
      return ::testing::AssertionFailure() << "terminal left without " << mode << ":\n" << screen;
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult ConsoleSession::Signal(int signal) {
  const pid_t pid = term_.ChildPid();
  if (pid <= 0) return ::testing::AssertionFailure() << "the console is not running";
  if (kill(pid, signal) != 0) return ::testing::AssertionFailure() << "kill failed";
  return ::testing::AssertionSuccess();
}
