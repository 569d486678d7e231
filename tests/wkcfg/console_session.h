// One run of a real console (the master's or the slave module's) in a
// terminal of its own: a fresh installation tree, tmux at a fixed size, and
// the shell's report of how the console ended (its status and the
// terminal's modes afterwards).
#ifndef VOLTMON_TESTS_WKCFG_CONSOLE_SESSION_H_
#define VOLTMON_TESTS_WKCFG_CONSOLE_SESSION_H_

#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/console_tree.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tmux_term.h"

// Makes the slave module's configuration once the tree's root is known.
using TSlaveConfig = std::function<std::string(const TConsoleTree&)>;

// The model of the shipped database the sessions choose by default.
extern const char kTestModel[];

// The full main menu and the advanced submenu with its calibration entry, in
// their order ("" a separator), read from the console's own menu tables.
extern const std::vector<std::string> kMainMenu;
extern const std::vector<std::string> kAdvancedMenu;

// Takes down whatever a case mounted over `path`, even when the case failed
// half-way, before the tree below it is removed: a file system left mounted
// there keeps the tree from being removed.
class TUnmountAtEnd {
 public:
  explicit TUnmountAtEnd(std::string path) : path_(std::move(path)) {}
  ~TUnmountAtEnd();
  TUnmountAtEnd(const TUnmountAtEnd&) = delete;
  TUnmountAtEnd& operator=(const TUnmountAtEnd&) = delete;

 private:
  std::string path_;
};

// Bind-mounts the directory `path` over itself, read-only.
::testing::AssertionResult MountReadOnly(const std::string& path);

class TConsoleSession {
 public:
  // Lays out the tree with `config` as "bin/wksrv.cfg" (none when empty);
  // a failure is a test failure.
  explicit TConsoleSession(const std::string& config = ServerConfig(kTestModel));
  // The slave module's tree with the configuration `make_config` gives for
  // it as "bin/qslx.cfg" (none when empty).
  explicit TConsoleSession(const TSlaveConfig& make_config);
  ~TConsoleSession();
  TConsoleSession(const TConsoleSession&) = delete;
  TConsoleSession& operator=(const TConsoleSession&) = delete;

  // Runs the console (`bin/wkcfg` or `bin/qscfg`) with `arguments` under /bin/sh in a pane of
  // columns x lines; afterwards the shell prints "stty -a" and "status=N". `environment`
  // ("NAME=value ") comes before the program.
  ::testing::AssertionResult Start(const std::string& arguments = "", int columns = 80,
                                   int lines = 25, const std::string& environment = "");

  // Start, then waits for the main menu's title.
  ::testing::AssertionResult StartMenu();

  // From the next Start on, the shell stays after its report (it reads from
  // the terminal), so that the pane's modes can still be asked of tmux; a
  // pane whose shell has ended shows no cursor.
  void KeepPaneAfterEnd() { keep_pane_ = true; }

  // Bounded waits for screen text (history included).
  ::testing::AssertionResult Shows(const std::string& text, int timeout_ms = 5000);
  ::testing::AssertionResult Hides(const std::string& text, int timeout_ms = 5000);
  // Waits for one screen that holds every text of `texts` ("" skipped), each
  // after the one before, and none of `absent`: a screen drawn in full.
  ::testing::AssertionResult ShowsInOrder(const std::vector<std::string>& texts,
                                          const std::vector<std::string>& absent = {});
  // tmux key names ("Down", "Enter", "Escape", "C-c").
  ::testing::AssertionResult Keys(const std::vector<std::string>& keys);
  ::testing::AssertionResult Type(const std::string& text);

  // From the main menu: chooses `entry` of kMainMenu, or of kAdvancedMenu by
  // way of "Advanced Configuration", and waits for `title`.
  ::testing::AssertionResult Open(const std::string& entry, const std::string& title);
  // From the main menu: "Save and Exit", then EndedCleanly.
  ::testing::AssertionResult SaveAndExit();

  // Starts a process of root named "wksrv" whose parent is PID 1, as the
  // server runs; it ends with the session.
  ::testing::AssertionResult StartServerStandIn();

  // Waits for the console to end, then checks the status and that the
  // terminal has echo and canonical mode back.
  ::testing::AssertionResult EndedCleanly(int status = 0);

  // Runs a second console of the same tree with `arguments` in a terminal of
  // its own (200x25, wide enough that its lines do not wrap) and waits (bounded) for its shell's
  // "status="; the pane's text then, history included.
  std::string RunBeside(const std::string& arguments = "");

  // Sends `signal` to the console itself (not the shell).
  ::testing::AssertionResult Signal(int signal);

  std::string Screen(bool colors = false) { return term_.Capture(colors); }
  std::string Config() const { return ReadFile(tree_.ConfigPath()); }
  // The value of `key` in the saved configuration; "<none>" when missing.
  std::string Saved(const std::string& key) const;
  // The first screen line holding `text` (the nth one from 0); empty when
  // none does.
  std::string Line(const std::string& text, int nth = 0);
  // What a row shows beside its label: the rest of the label's line, without
  // the list hint, trimmed.
  std::string Value(const std::string& label, int nth = 0);
  // Waits until Value(label, nth) is `value`.
  ::testing::AssertionResult ShowsValue(const std::string& label, const std::string& value,
                                        int nth = 0);
  // Every byte written to the pane, the bell included, once the shell's
  // "status=" after the console has arrived (bounded wait; what there is
  // then).
  std::string Output() const;
  const TConsoleTree& tree() const { return tree_; }
  TTmuxTerm& term() { return term_; }

 private:
  TConsoleSession(TConsoleKind kind, const std::string& config, const TSlaveConfig& make_config);

  TTempDir dir_{"console_sys"};
  TConsoleTree tree_;
  TTmuxTerm term_;
  pid_t server_ = -1;
  bool keep_pane_ = false;
};

#endif  // VOLTMON_TESTS_WKCFG_CONSOLE_SESSION_H_
