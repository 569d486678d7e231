// One run of the real console in a terminal of its own: a fresh
// installation tree, tmux at a fixed size, and the shell's report of how the
// console ended (its status and the terminal's modes afterwards).
#ifndef VOLTMON_TESTS_WKCFG_CONSOLE_SESSION_H_
#define VOLTMON_TESTS_WKCFG_CONSOLE_SESSION_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/console_tree.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tmux_term.h"

// The model of the shipped database the sessions choose by default.
extern const char kTestModel[];

class ConsoleSession {
 public:
  // Lays out the tree with `config` as "bin/wksrv.cfg" (none when empty);
  // a failure is a test failure.
  explicit ConsoleSession(const std::string& config = ServerConfig(kTestModel));

  // Runs `bin/wkcfg arguments` under /bin/sh in a pane of columns x lines;
  // afterwards the shell prints "stty -a" and "status=N". `environment`
  // ("NAME=value ") comes before the program.
  ::testing::AssertionResult Start(const std::string& arguments = "", int columns = 80,
                                   int lines = 25, const std::string& environment = "");

  // From the next Start on, the shell stays after its report (it reads from
  // the terminal), so that the pane's modes can still be asked of tmux; a
  // pane whose shell has ended shows no cursor.
  void KeepPaneAfterEnd() { keep_pane_ = true; }

  // Bounded waits for screen text (history included).
  ::testing::AssertionResult Shows(const std::string& text, int timeout_ms = 5000);
  ::testing::AssertionResult Hides(const std::string& text, int timeout_ms = 5000);
  // tmux key names ("Down", "Enter", "Escape", "C-c").
  ::testing::AssertionResult Keys(const std::vector<std::string>& keys);
  ::testing::AssertionResult Type(const std::string& text);

  // Waits for the console to end, then checks the status and that the
  // terminal has echo and canonical mode back.
  ::testing::AssertionResult EndedCleanly(int status = 0);

  // Sends `signal` to the console itself (not the shell).
  ::testing::AssertionResult Signal(int signal);

  std::string Screen(bool colors = false) { return term_.Capture(colors); }
  std::string Config() const { return ReadFile(tree_.ConfigPath()); }
  const ConsoleTree& tree() const { return tree_; }
  TTmuxTerm& term() { return term_; }

 private:
  TempDir dir_{"wkcfg_sys"};
  ConsoleTree tree_{dir_.path()};
  TTmuxTerm term_;
  bool keep_pane_ = false;
};

#endif  // VOLTMON_TESTS_WKCFG_CONSOLE_SESSION_H_
