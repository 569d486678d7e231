// The console's benchmark: the console at its main menu, the two menu tools
// admins know and the ncurses floor, each run in a pseudo-terminal of 80x25
// with TERM=xterm and ESCDELAY unset, interleaved run by run. A terminal
// emulator reads what each one writes, so that the first frame is complete
// when its last expected text is on the screen and no more output follows;
// its time is that of the frame's last byte. Then one arrow move (the bytes
// it costs), then ESC in a pop-up list (the time until the program ends or,
// for the console, until the list is gone), and the peak resident memory
// that wait4 reports.
//
// Usage: console_driver RUNS SHIPPED_ROOT BIG_ROOT FLOOR
//   SHIPPED_ROOT, BIG_ROOT  installation trees of the console, with the
//                           shipped model database and with a big one
//   FLOOR                   the floor program
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vterm.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 25;
constexpr int kCols = 80;
constexpr int kQuietMs = 150;                 // no output for this long: the frame is done
constexpr int kBoundMs = 10000;               // no step may take longer
const char kListEntry[] = "Pellik Mini 400";  // first model of the console's pop-up list

int64_t NowNs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

double Ms(int64_t ns) {
  return static_cast<double>(ns) / 1e6;
}

// One program in its own pseudo-terminal, and what it has written.
class Session {
 public:
  ~Session() { End(); }

  bool Start(const std::vector<std::string>& argv) {
    winsize size = {};
    size.ws_row = kRows;
    size.ws_col = kCols;
    vt_ = vterm_new(kRows, kCols);
    vterm_set_utf8(vt_, 1);
    screen_ = vterm_obtain_screen(vt_);
    vterm_screen_reset(screen_, 1);
    start_ns_ = last_output_ns_ = NowNs();
    pid_ = forkpty(&pty_, nullptr, nullptr, &size);
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      setenv("TERM", "xterm", 1);
      unsetenv("ESCDELAY");
      unsetenv("LINES");
      unsetenv("COLUMNS");
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
    pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    return pidfd_ >= 0;
  }

  bool Shows(const std::string& text) const {
    std::vector<char> buffer(kRows * kCols * 4);
    VTermRect all = {0, kRows, 0, kCols};
    const size_t n = vterm_screen_get_text(screen_, buffer.data(), buffer.size(), all);
    return std::string(buffer.data(), n).find(text) != std::string::npos;
  }

  // Reads until `done` holds and no output came for kQuietMs; false when
  // kBoundMs pass first or the program ends.
  bool Settle(const std::function<bool()>& done) {
    const int64_t deadline = NowNs() + kBoundMs * 1000000LL;
    for (;;) {
      const int64_t now = NowNs();
      const bool finished = done();
      if (finished && now - last_output_ns_ >= kQuietMs * 1000000LL) return true;
      if (now >= deadline || exited_) return false;
      const int64_t until = finished ? last_output_ns_ + kQuietMs * 1000000LL : deadline;
      Pump(static_cast<int>(std::max<int64_t>(1, (until - now) / 1000000 + 1)));
    }
  }

  // Waits for the program's end; its time, or -1 after kBoundMs.
  int64_t WaitExit() {
    const int64_t deadline = NowNs() + kBoundMs * 1000000LL;
    while (!exited_ && NowNs() < deadline)
      Pump(static_cast<int>((deadline - NowNs()) / 1000000 + 1));
    return exited_ ? exit_ns_ : -1;
  }

  void Send(const std::string& keys) {
    for (size_t done = 0; done < keys.size();) {
      const ssize_t n = write(pty_, keys.data() + done, keys.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }

  // The cursor keys as the program asked for them (application mode or not).
  std::string Key(char code) const {
    const bool application = raw_.find("\x1b[?1h") != std::string::npos;
    return std::string(application ? "\x1bO" : "\x1b[") + code;
  }

  // Ends the program if it still runs; its peak resident memory in KiB.
  long End() {
    if (pid_ <= 0) return peak_kib_;
    if (!exited_) {
      kill(pid_, SIGTERM);
      if (WaitExit() < 0) kill(pid_, SIGKILL);
    }
    int status;
    rusage usage;
    if (wait4(pid_, &status, 0, &usage) == pid_) peak_kib_ = usage.ru_maxrss;
    pid_ = -1;
    for (int* fd : {&pty_, &pidfd_}) {
      if (*fd >= 0) close(*fd);
      *fd = -1;
    }
    if (vt_ != nullptr) vterm_free(vt_);
    vt_ = nullptr;
    return peak_kib_;
  }

  int64_t start_ns() const { return start_ns_; }
  int64_t last_output_ns() const { return last_output_ns_; }
  size_t bytes() const { return bytes_; }

 private:
  void Pump(int timeout_ms) {
    pollfd fds[2] = {{pty_, POLLIN, 0}, {pidfd_, POLLIN, 0}};
    const int n = poll(fds, 2, timeout_ms);
    if (n <= 0) return;
    if (fds[0].revents & POLLIN) {
      char buffer[65536];
      const ssize_t got = read(pty_, buffer, sizeof buffer);
      if (got > 0) {
        last_output_ns_ = NowNs();
        bytes_ += static_cast<size_t>(got);
        raw_.append(buffer, static_cast<size_t>(got));
        vterm_input_write(vt_, buffer, static_cast<size_t>(got));
        return;
      }
    }
    if ((fds[1].revents & POLLIN) && !exited_) {
      exited_ = true;
      exit_ns_ = NowNs();
    }
    // A hung-up terminal with a live program: let the pidfd tell the end.
    if ((fds[0].revents & (POLLHUP | POLLERR)) && !exited_) poll(&fds[1], 1, 1);
  }

  pid_t pid_ = -1;
  int pty_ = -1;
  int pidfd_ = -1;
  VTerm* vt_ = nullptr;
  VTermScreen* screen_ = nullptr;
  int64_t start_ns_ = 0;
  int64_t last_output_ns_ = 0;
  int64_t exit_ns_ = 0;
  bool exited_ = false;
  size_t bytes_ = 0;
  std::string raw_;
  long peak_kib_ = -1;
};

struct Program {
  std::string name;
  std::vector<std::string> argv;
  std::string last_text;  // on the screen once the first frame is complete
  bool console;           // the pop-up list is opened from the main menu
  bool full;              // also the arrow move and ESC
};

struct Figures {
  double first_ms = -1, esc_ms = -1;
  double first_bytes = -1, arrow_bytes = -1, peak_kib = -1;
};

std::vector<std::string> MenuTool(const std::string& tool) {
  std::vector<std::string> argv = {tool, "--title", "Menu", "--menu", "Choose an entry",
                                   "20", "60",      "10"};
  for (int i = 1; i <= 10; ++i) {
    argv.push_back(std::to_string(i));
    argv.push_back("Entry " + std::to_string(i));
  }
  return argv;
}

// One session of `program`; a figure that could not be taken stays -1.
Figures Measure(const Program& program) {
  Figures f;
  Session s;
  if (!s.Start(program.argv)) return f;
  if (!s.Settle([&] { return s.Shows(program.last_text); })) {
    fprintf(stderr, "%s: no complete first frame\n", program.name.c_str());
    return f;
  }
  f.first_ms = Ms(s.last_output_ns() - s.start_ns());
  f.first_bytes = static_cast<double>(s.bytes());
  if (program.full) {
    size_t before = s.bytes();
    s.Send(s.Key('B'));
    if (s.Settle([&] { return s.bytes() > before; })) {
      f.arrow_bytes = static_cast<double>(s.bytes() - before);
    }
    bool in_list = true;
    if (program.console) {
      before = s.bytes();
      s.Send(s.Key('A'));
      in_list = s.Settle([&] { return s.bytes() > before; });
      s.Send("\r");
      in_list = in_list && s.Settle([&] { return s.Shows("ENTER for List"); });
      s.Send("\r");
      in_list = in_list && s.Settle([&] { return s.Shows(kListEntry); });
    }
    if (in_list) {
      const int64_t esc = NowNs();
      s.Send("\x1b");
      if (program.console) {
        if (s.Settle([&] { return !s.Shows(kListEntry); })) f.esc_ms = Ms(s.last_output_ns() - esc);
      } else {
        const int64_t end = s.WaitExit();
        if (end > 0) f.esc_ms = Ms(end - esc);
      }
    }
  }
  f.peak_kib = static_cast<double>(s.End());
  return f;
}

double Median(std::vector<double> values) {
  values.erase(std::remove(values.begin(), values.end(), -1.0), values.end());
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void Verdict(const char* what, double value, double limit, const char* unit) {
  const bool known = value >= 0 && limit > 0;
  printf("%-44s %9.2f %-3s (target <= %.2f): %s\n", what, value, unit, limit,
         !known           ? "NO DATA"
         : value <= limit ? "met"
                          : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: console_driver RUNS SHIPPED_ROOT BIG_ROOT FLOOR\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  const int runs = atoi(argv[1]);
  const std::string shipped = argv[2];
  const std::string big = argv[3];
  const std::vector<Program> programs = {
      {"wkcfg", {shipped + "/bin/wkcfg"}, "Exit", true, true},
      {"wkcfg-20k", {big + "/bin/wkcfg"}, "Exit", true, false},
      {"whiptail", MenuTool("whiptail"), "<Cancel>", false, true},
      {"dialog", MenuTool("dialog"), "Cancel", false, true},
      {"floor", {argv[4]}, "Entry 10", false, true},
  };
  const size_t count = programs.size();
  std::vector<std::vector<Figures>> all(count);
  for (int run = 0; run < runs; ++run) {
    printf("run %2d", run + 1);
    for (size_t k = 0; k < count; ++k) {
      const size_t p = (static_cast<size_t>(run) + k) % count;  // rotate who goes first
      const Figures f = Measure(programs[p]);
      all[p].push_back(f);
      printf(" | %s %.1f ms", programs[p].name.c_str(), f.first_ms);
    }
    printf("\n");
    fflush(stdout);
  }

  struct Row {
    const char* name;
    double Figures::*value;
  } rows[] = {{"first frame (ms)", &Figures::first_ms},
              {"bytes of the first frame", &Figures::first_bytes},
              {"bytes of one arrow move", &Figures::arrow_bytes},
              {"ESC in a pop-up list (ms)", &Figures::esc_ms},
              {"peak resident memory (KiB)", &Figures::peak_kib}};
  printf("\nmedians over %d runs; pty %dx%d, TERM=xterm, ESCDELAY unset\n", runs, kCols, kRows);
  printf("%-28s", "");
  for (const Program& p : programs) printf(" %10s", p.name.c_str());
  printf(" %9s %9s %9s\n", "/whiptail", "/dialog", "/floor");
  std::vector<std::vector<double>> median(std::size(rows), std::vector<double>(count));
  for (size_t r = 0; r < std::size(rows); ++r) {
    printf("%-28s", rows[r].name);
    for (size_t p = 0; p < count; ++p) {
      std::vector<double> values;
      for (const Figures& f : all[p]) values.push_back(f.*(rows[r].value));
      median[r][p] = Median(values);
      printf(" %10.1f", median[r][p]);
    }
    for (size_t other : {2, 3, 4}) {
      const double m = median[r][other];
      printf(" %9.2f", m > 0 && median[r][0] >= 0 ? median[r][0] / m : 0.0);
    }
    printf("\n");
  }
  printf("\n");
  const double fastest_tool = std::min(median[0][2], median[0][3]);
  Verdict("first frame, shipped models", median[0][0], fastest_tool, "ms");
  Verdict("first frame, 20,000 models (2x the floor)", median[0][1], 2 * median[0][4], "ms");
  Verdict("bytes of one arrow move", median[2][0], median[2][2], "B");
  Verdict("ESC in a pop-up list", median[3][0], 50, "ms");
  Verdict("peak resident memory (below whiptail)", median[4][0], median[4][2] - 1, "KiB");
  return 0;
}
