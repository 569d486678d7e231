// The one place that calls curses. Signal handlers only set a flag or, for a
// crash, put back the saved terminal modes with async-signal-safe calls; the
// resize is reported by curses itself as KEY_RESIZE and handled in the main
// flow by the screen layer. Key reads wait in short slices so that a
// termination signal is noticed even where the read would restart.
#include "tui/curses_screen.h"

#include <curses.h>
#include <locale.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "common/console.h"
#include "common/files.h"
#include "tui/colors.h"
#include "tui/crt.h"
#include "tui/screen_text.h"

namespace {

constexpr int kReadSliceMs = 100;
// Reads answered with kKeyQuit before the console is ended regardless: a
// screen loop that ignores the code must not spin on a dead terminal.
constexpr int kQuitReadsBeforeExit = 200;

// Names the program in the lines it prints about the terminal.
const char* g_ident = "wkcfg";
volatile sig_atomic_t g_quit_signal = 0;
bool g_active = false;
SCREEN* g_screen = nullptr;
struct termios g_saved_modes;
bool g_have_saved_modes = false;
// Terminal sequences that leave the full-screen mode, written by the crash
// handler; prepared beforehand because the handler may not call curses.
char g_reset_sequence[256];
size_t g_reset_length = 0;
// The terminal's clear sequence, kept for after curses has ended.
char g_clear_sequence[64];
size_t g_clear_length = 0;

void OnQuitSignal(int signal_number) {
  g_quit_signal = signal_number;
  NoteEndSignal();
}

void OnFatalSignal(int signal_number) {
  if (g_have_saved_modes) tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_modes);
  if (g_reset_length > 0) {
    ssize_t ignored = write(STDOUT_FILENO, g_reset_sequence, g_reset_length);
    (void)ignored;
  }
  // SA_RESETHAND has put back the default action: the signal ends the program.
  raise(signal_number);
}

void OnTerminate() {
  DoneScreen();
  std::abort();
}

bool InstallHandler(int signal_number, void (*handler)(int), int flags) {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocked read returns at once when the user quits.
  action.sa_flags = flags;
  if (sigaction(signal_number, &action, nullptr) != 0) {
    std::perror((std::string(g_ident) + ": sigaction").c_str());
    return false;
  }
  return true;
}

void AppendCapability(const char* name) {
  char* value = tigetstr(const_cast<char*>(name));
  if (value == nullptr || value == reinterpret_cast<char*>(-1)) return;
  size_t length = std::strlen(value);
  if (g_reset_length + length >= sizeof g_reset_sequence) return;
  std::memcpy(g_reset_sequence + g_reset_length, value, length);
  g_reset_length += length;
}

void KeepClearSequence() {
  g_clear_length = 0;
  char* value = tigetstr(const_cast<char*>("clear"));
  if (value == nullptr || value == reinterpret_cast<char*>(-1)) return;
  size_t length = std::strlen(value);
  if (length >= sizeof g_clear_sequence) return;
  std::memcpy(g_clear_sequence, value, length);
  g_clear_length = length;
}

bool InputGone() {
  struct pollfd input = {STDIN_FILENO, POLLIN, 0};
  int ready = poll(&input, 1, 0);
  return ready > 0 && (input.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

class TCursesTerminal : public TTerminal {
 public:
  void Start() {
    window_ = stdscr;
    pairs_.Clear();
    quit_reads_ = 0;
    Prepare(stdscr);
  }

  int Columns() override { return COLS; }
  int Lines() override { return LINES; }

  bool NewWindow(int column, int row, int columns, int lines) override {
    WINDOW* window = newwin(lines, columns, row, column);
    if (window == nullptr) return false;
    if (window_ != stdscr) delwin(window_);
    window_ = window;
    Prepare(window);
    return true;
  }

  void UseWholeScreen() override {
    if (window_ != stdscr) delwin(window_);
    window_ = stdscr;
    Apply(7);
    // The old layout may have left text outside the new one: repaint all.
    wclear(stdscr);
    wrefresh(stdscr);
  }

  void Clear(uint8_t attr) override {
    Apply(attr);
    werase(window_);
  }

  void GetCursor(int* column, int* row) override {
    int y, x;
    getyx(window_, y, x);
    *column = x;
    *row = y;
  }

  // Drawing only updates curses' picture of the screen; the terminal gets
  // the difference once, when a key is awaited (or the bell rings). A
  // refresh per write sent a cursor move for every piece of text, even for
  // text that was already there.
  void SetCursor(int column, int row) override {
    wmove(window_, row, column);
    wnoutrefresh(window_);
  }

  void Write(const std::string& text, uint8_t attr) override {
    Apply(attr);
    waddnstr(window_, text.data(), static_cast<int>(text.size()));
    wnoutrefresh(window_);
  }

  int ReadKey() override {
    doupdate();
    noecho();
    cbreak();
    for (;;) {
      if (g_quit_signal) return Quit();
      int key = wgetch(window_);
      if (g_quit_signal) return Quit();
      if (key != ERR) return key;
      if (idle) {
        idle();
        doupdate();
      }
      if (InputGone()) {
        g_quit_signal = SIGHUP;
        return Quit();
      }
    }
  }

  void Beep() override {
    doupdate();
    ::Beep();
  }

 private:
  void Prepare(WINDOW* window) {
    scrollok(window, TRUE);
    keypad(window, TRUE);
    wtimeout(window, kReadSliceMs);
  }

  // The attribute byte as curses attributes: its colour pair (allocated on
  // first use), bold for bright, blink; also the window's background.
  void Apply(uint8_t attr) {
    attr_t curses_attr = A_NORMAL;
    if (has_colors()) {
      int foreground = attr & 7;
      int background = (attr >> 4) & 7;
      bool is_new = false;
      int pair = pairs_.PairFor(foreground, background, &is_new);
      if (is_new)
        init_pair(static_cast<short>(pair), static_cast<short>(foreground),
                  static_cast<short>(background));
      curses_attr = COLOR_PAIR(pair);
    }
    wbkgdset(window_, ' ' | curses_attr);
    if (attr & 0x08) curses_attr |= A_BOLD;
    if (attr & 0x80) curses_attr |= A_BLINK;
    wattrset(window_, curses_attr);
  }

  int Quit() {
    if (++quit_reads_ > kQuitReadsBeforeExit) {
      DoneScreen();
      std::exit(0);
    }
    return kKeyQuit;
  }

  WINDOW* window_ = nullptr;
  TColorPairTable pairs_;
  int quit_reads_ = 0;
};

TCursesTerminal g_terminal;

// The arrows in the terminal's normal cursor mode as well: keys typed before
// the console switched the keypad on arrive in that form and would otherwise
// be read as ESC and two letters.
void DefineExtraKeys() {
  static const struct {
    const char* sequence;
    int code;
  } kKeys[] = {
      {"\033[[A", 265},     {"\033[[B", 266},   {"\033[[C", 267},     {"\033[[D", 268},
      {"\033[[E", 269},     {"\033[F", 264},    {"\033[H", 262},      {"\033[1~", 262},
      {"\033[4~", 264},     {"\033[A", KEY_UP}, {"\033[B", KEY_DOWN}, {"\033[C", KEY_RIGHT},
      {"\033[D", KEY_LEFT},
  };
  for (const auto& key : kKeys) define_key(key.sequence, key.code);
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// Curses keeps the record it allocates before it knows the terminal type when
// that type is unknown, with no call to free it: not a leak of this program.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:new_prescr\n";
}
// Without this the list of matched suppressions lands in the leak log, which
// the test runs read as a report.
extern "C" const char* __lsan_default_options() {
  return "print_suppressions=0";
}
#endif

void SetScreenIdent(const char* ident) {
  g_ident = ident;
}

bool InitScreen() {
  if (g_active) return true;
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
    std::fprintf(stderr, "%s: needs a terminal: standard input and output must be one\n", g_ident);
    return false;
  }
  const char* term = std::getenv("TERM");
  if (term == nullptr || *term == '\0') {
    std::fprintf(stderr, "%s: TERM is not set: cannot drive the terminal\n", g_ident);
    return false;
  }
  // Before curses starts, so that it installs no handlers of its own for them.
  for (int signal_number : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
    if (!InstallHandler(signal_number, OnQuitSignal, 0)) return false;
  }
  g_have_saved_modes = tcgetattr(STDIN_FILENO, &g_saved_modes) == 0;
  // The user's character set, for curses and for the widths of shown texts;
  // a locale that cannot be set leaves "C", and the texts are shown byte by
  // byte as before.
  setlocale(LC_CTYPE, "");
  SetTextCoding(CodingOfLocale());
  g_screen = newterm(nullptr, stdout, stdin);
  if (g_screen == nullptr) {
    std::fprintf(stderr, "%s: the terminal type \"%s\" is unknown\n", g_ident, term);
    return false;
  }
  set_term(g_screen);
  char* cursor_address = tigetstr(const_cast<char*>("cup"));
  if (cursor_address == nullptr || cursor_address == reinterpret_cast<char*>(-1)) {
    endwin();
    delscreen(g_screen);
    g_screen = nullptr;
    std::fprintf(stderr, "%s: the terminal type \"%s\" cannot place the cursor\n", g_ident, term);
    return false;
  }
  if (std::getenv("ESCDELAY") == nullptr) set_escdelay(25);
  // Every colour drawn has a pair of its own, so pair 0 is never shown; as
  // the terminal's own colours it is put back after each update with one
  // short sequence instead of three.
  if (has_colors() && start_color() == OK) use_default_colors();
  noecho();
  cbreak();
  DefineExtraKeys();
  g_reset_length = 0;
  AppendCapability("sgr0");
  AppendCapability("cnorm");
  AppendCapability("rmcup");
  KeepClearSequence();
  static bool guards_installed = false;
  if (!guards_installed) {
    for (int signal_number : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
      InstallHandler(signal_number, OnFatalSignal, SA_RESETHAND | SA_NODEFER);
    }
    std::set_terminate(OnTerminate);
    std::atexit(DoneScreen);
    guards_installed = true;
  }
  g_active = true;
  g_terminal.Start();
  UseTerminal(&g_terminal);
  return WaitForUsableSize();
}

void DoneScreen() {
  if (!g_active) return;
  g_active = false;
  UseTerminal(nullptr);
  endwin();
  if (g_have_saved_modes) tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_modes);
  delscreen(g_screen);
  g_screen = nullptr;
}

bool QuitRequested() {
  return g_quit_signal != 0;
}

void ClearTerminal() {
  if (g_clear_length == 0 || !isatty(STDOUT_FILENO)) return;
  std::fflush(stdout);
  if (write(STDOUT_FILENO, g_clear_sequence, g_clear_length) < 0)
    std::perror((std::string(g_ident) + ": write").c_str());
}
