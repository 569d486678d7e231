// The console session helper: everything a system test case of the console
// repeats, so that a case is the keys it types and the texts it expects.
#include "tests/wkcfg/console_session.h"

#include <errno.h>
#include <signal.h>
#include <string.h>
#include <sys/mount.h>

#include <algorithm>
#include <sstream>

#include "common/ini.h"
#include "tests/support/subprocess.h"
#include "wkcfg/ui/console_flow.h"

const char kTestModel[] = "Quillon 650";

namespace {

// Every entry of a menu table, as the console lists it when each is shown.
std::vector<std::string> AllTexts(const TMenu& menu) {
  std::vector<std::string> texts;
  for (const TMenuEntry& entry : menu.entries) texts.push_back(entry.text);
  return texts;
}

}  // namespace

const std::vector<std::string> kMainMenu = AllTexts(MainMenuTable());
const std::vector<std::string> kAdvancedMenu = AllTexts(AdvancedMenuTable());

namespace {

::testing::AssertionResult Result(bool ok, const std::string& what, const TTmuxTerm& term) {
  if (ok) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << what << ": " << term.error();
}

// The down arrows that bring the selection from the first entry to `entry`,
// separators passed over; -1 when the menu has no such entry.
int DownsTo(const std::vector<std::string>& menu, const std::string& entry) {
  auto found = std::find(menu.begin(), menu.end(), entry);
  if (found == menu.end()) return -1;
  return static_cast<int>(
      std::count_if(menu.begin(), found, [](const std::string& each) { return !each.empty(); }));
}

}  // namespace

TUnmountAtEnd::~TUnmountAtEnd() {
  for (int i = 0; i < 8 && umount2(path_.c_str(), MNT_DETACH) == 0; ++i) {
  }
}

::testing::AssertionResult MountReadOnly(const std::string& path) {
  if (mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
      mount(nullptr, path.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
    return ::testing::AssertionFailure()
           << "read-only mount of " << path << ": " << strerror(errno);
  }
  return ::testing::AssertionSuccess();
}

TConsoleSession::TConsoleSession(const std::string& config)
    : TConsoleSession(TConsoleKind::kMaster, config, TSlaveConfig()) {}

TConsoleSession::TConsoleSession(const TSlaveConfig& make_config)
    : TConsoleSession(TConsoleKind::kSlave, "", make_config) {}

TConsoleSession::TConsoleSession(TConsoleKind kind, const std::string& config,
                                 const TSlaveConfig& make_config)
    : tree_(dir_.path(), kind) {
  const char* binary = kind == TConsoleKind::kMaster ? VM_WKCFG_PATH : VM_QSCFG_PATH;
  std::string error;
  EXPECT_TRUE(tree_.Build(binary, VM_PACKET_DIR, make_config ? make_config(tree_) : config, &error))
      << error;
  term_.RecordTo(dir_.Sub("pane.out"));
}

TConsoleSession::~TConsoleSession() {
  if (server_ > 0) kill(server_, SIGKILL);
}

::testing::AssertionResult TConsoleSession::Start(const std::string& arguments, int columns,
                                                  int lines, const std::string& environment) {
  // The shell outlives Ctrl-C and Ctrl-\ as an interactive one would, then
  // reports.
  const std::string command = "trap : INT QUIT; cd " + tree_.root() + " && " + environment +
                              tree_.Program() + (arguments.empty() ? "" : " " + arguments) +
                              "; s=$?; stty -a; echo \"status=$s\"" +
                              (keep_pane_ ? "; exec cat > /dev/null" : "");
  return Result(term_.Start(command, columns, lines), "cannot start the console", term_);
}

std::string TConsoleSession::RunBeside(const std::string& arguments) {
  TTmuxTerm beside;
  const std::string command = "cd " + tree_.root() + " && " + tree_.Program() +
                              (arguments.empty() ? "" : " " + arguments) + "; echo \"status=$?\"";
  if (!beside.Start(command, 200, 25)) return "cannot start: " + beside.error();
  beside.WaitFor("status=", 10000);
  return beside.Capture(false, true);
}

::testing::AssertionResult TConsoleSession::StartMenu() {
  ::testing::AssertionResult started = Start();
  if (!started) return started;
  return Shows("Wattkeep Configuration");
}

::testing::AssertionResult TConsoleSession::Shows(const std::string& text, int timeout_ms) {
  return Result(term_.WaitFor(text, timeout_ms), "\"" + text + "\" not shown", term_);
}

::testing::AssertionResult TConsoleSession::Hides(const std::string& text, int timeout_ms) {
  return Result(term_.WaitForGone(text, timeout_ms), "\"" + text + "\" still shown", term_);
}

::testing::AssertionResult TConsoleSession::ShowsInOrder(const std::vector<std::string>& texts,
                                                         const std::vector<std::string>& absent) {
  std::string screen;
  auto drawn = [&] {
    screen = Screen();
    return TextsInOrder(screen, texts) &&
           std::none_of(absent.begin(), absent.end(), [&](const std::string& text) {
             return screen.find(text) != std::string::npos;
           });
  };
  if (WaitUntil(drawn, 5000)) return ::testing::AssertionSuccess();
  ::testing::AssertionResult failure = ::testing::AssertionFailure();
  failure << "not in order:";
  for (const std::string& text : texts) failure << " \"" << text << "\"";
  if (!absent.empty()) failure << "; or still shown:";
  for (const std::string& text : absent) failure << " \"" << text << "\"";
  return failure << "\n" << screen;
}

::testing::AssertionResult TConsoleSession::Keys(const std::vector<std::string>& keys) {
  return Result(term_.SendKeys(keys), "send-keys failed", term_);
}

::testing::AssertionResult TConsoleSession::Type(const std::string& text) {
  return Result(term_.SendText(text), "typing failed", term_);
}

::testing::AssertionResult TConsoleSession::EndedCleanly(int status) {
  const std::string mark = "status=" + std::to_string(status);
  if (!term_.WaitFor(mark)) return Result(false, "no " + mark, term_);
  const std::string screen = term_.Capture(false, true);
  for (const char* mode : {"echo", "icanon"}) {
    if (!HasWord(screen, mode))
      return ::testing::AssertionFailure() << "terminal left without " << mode << ":\n" << screen;
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult TConsoleSession::Signal(int signal) {
  const pid_t pid = term_.ChildPid();
  if (pid <= 0) return ::testing::AssertionFailure() << "the console is not running";
  if (kill(pid, signal) != 0) return ::testing::AssertionFailure() << "kill failed";
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult TConsoleSession::Open(const std::string& entry,
                                                 const std::string& title) {
  int downs = DownsTo(kMainMenu, entry);
  if (downs < 0) {
    downs = DownsTo(kAdvancedMenu, entry);
    if (downs < 0) return ::testing::AssertionFailure() << "no menu entry \"" << entry << "\"";
    ::testing::AssertionResult opened = Open("Advanced Configuration", "ADVANCED CONFIGURATION");
    if (!opened) return opened;
  }
  std::vector<std::string> keys(static_cast<size_t>(downs), "Down");
  keys.push_back("Enter");
  ::testing::AssertionResult sent = Keys(keys);
  if (!sent) return sent;
  return Shows(title);
}

::testing::AssertionResult TConsoleSession::SaveAndExit() {
  ::testing::AssertionResult sent = Keys({"Up", "Up", "Enter"});
  if (!sent) return sent;
  return EndedCleanly();
}

::testing::AssertionResult TConsoleSession::StartServerStandIn() {
  const std::string program = dir_.Sub("wksrv");
  if (!WriteFile(program, ReadFile("/bin/sleep"), 0755))
    return ::testing::AssertionFailure() << "cannot copy /bin/sleep";
  // Started from a shell that ends at once, so that PID 1 adopts it.
  TRunResult run = RunCommand({"/bin/sh", "-c", "\"$0\" 600 >/dev/null 2>&1 &", program});
  if (run.exit_code != 0) return ::testing::AssertionFailure() << "cannot start the stand-in";
  const bool adopted = WaitUntil(
      [this] {
        std::vector<pid_t> pids = ProcessesNamed("wksrv");
        if (pids.size() != 1 || ParentOf(pids[0]) != 1) return false;
        server_ = pids[0];
        return true;
      },
      5000);
  if (!adopted) return ::testing::AssertionFailure() << "the stand-in wksrv is not a daemon";
  return ::testing::AssertionSuccess();
}

std::string TConsoleSession::Saved(const std::string& key) const {
  TIniDocument doc;
  doc.Parse(Config());
  return doc.Get("Wattkeep", key).value_or("<none>");
}

std::string TConsoleSession::Output() const {
  // The recording runs through a pipe of its own and may lag the screen.
  std::string output;
  WaitUntil(
      [&] {
        output = ReadFile(dir_.Sub("pane.out"));
        return output.find("status=") != std::string::npos;
      },
      5000);
  return output;
}

std::string TConsoleSession::Line(const std::string& text, int nth) {
  std::istringstream lines(Screen());
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find(text) != std::string::npos && nth-- == 0) return line;
  }
  return "";
}

std::string TConsoleSession::Value(const std::string& label, int nth) {
  const std::string line = Line(label, nth);
  if (line.empty()) return "";
  std::string rest = line.substr(line.find(label) + label.size());
  rest = rest.substr(0, rest.find(" <--"));
  const size_t first = rest.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return rest.substr(first, rest.find_last_not_of(' ') - first + 1);
}

::testing::AssertionResult TConsoleSession::ShowsValue(const std::string& label,
                                                       const std::string& value, int nth) {
  if (WaitUntil([&] { return Value(label, nth) == value; }, 5000))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "\"" << label << "\" shows \"" << Value(label, nth) << "\", not \"" << value << "\":\n"
         << Screen();
}
