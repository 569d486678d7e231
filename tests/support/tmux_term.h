// A program under test in a real terminal: a private tmux server (its own
// socket in a temporary directory) with one pane of a fixed size, keys sent
// as the user would type them and the screen read back, with bounded waits.
#ifndef VOLTMON_TESTS_SUPPORT_TMUX_TERM_H_
#define VOLTMON_TESTS_SUPPORT_TMUX_TERM_H_

#include <sys/types.h>

#include <string>
#include <vector>

class TTmuxTerm {
 public:
  TTmuxTerm();
  // Kills the server and removes its directory.
  ~TTmuxTerm();
  TTmuxTerm(const TTmuxTerm&) = delete;
  TTmuxTerm& operator=(const TTmuxTerm&) = delete;

  // Runs `command` with /bin/sh -c in a pane of columns x lines, TERM set to
  // `term`. The pane stays after the command ends so that its last screen
  // can be read. False (see error()) when tmux could not start it.
  bool Start(const std::string& command, int columns = 80, int lines = 25,
             const std::string& term = "screen");
  // Before Start: every byte the command writes to the pane is also appended
  // to `path` as it arrives (the bell included, which no capture shows).
  void RecordTo(const std::string& path) { record_path_ = path; }
  // Before Start: tmux takes the pane and the typed text as UTF-8 whatever
  // the tests' own locale.
  void UseUtf8() { utf8_ = true; }

  // tmux key names, such as "Down", "Enter", "Escape", "C-c".
  bool SendKeys(const std::vector<std::string>& keys);
  // Text typed literally.
  bool SendText(const std::string& text);

  // The pane's text; with `colors`, with the escape sequences of its
  // attributes; with `history`, preceded by the lines scrolled off the top
  // (tmux scrolls one line when the command ends).
  std::string Capture(bool colors = false, bool history = false);
  // Waits until the pane, history included, shows `text` (or the screen no
  // longer shows it); false after `timeout_ms`, with the last screen in
  // error().
  bool WaitFor(const std::string& text, int timeout_ms = 5000);
  bool WaitForGone(const std::string& text, int timeout_ms = 5000);

  bool Resize(int columns, int lines);

  // The pane's `format` expanded by tmux ("#{alternate_on} #{cursor_flag}"),
  // without the line feed; empty when tmux fails.
  std::string Display(const std::string& format);

  // The shell that runs the command, and its first child (the program when
  // the command starts one), or -1.
  pid_t ShellPid();
  pid_t ChildPid();

  // True once the command in the pane has ended.
  bool Ended();

  const std::string& error() const { return error_; }

 private:
  // Runs tmux on the private socket; its standard output in `out`.
  bool Tmux(const std::vector<std::string>& arguments, std::string* out = nullptr);

  std::string dir_;
  std::string socket_;
  std::string record_path_;
  bool started_ = false;
  bool utf8_ = false;
  std::string error_;
};

// Reads the lines of `text` and tells whether any holds `word` as a whole
// blank-separated word ("echo" but not "-echo").
bool HasWord(const std::string& text, const std::string& word);

// Tells whether `screen` holds every text of `texts` ("" skipped), each after
// the one before.
bool TextsInOrder(const std::string& screen, const std::vector<std::string>& texts);

#endif  // VOLTMON_TESTS_SUPPORT_TMUX_TERM_H_
