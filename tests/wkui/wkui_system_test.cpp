// The toolkit in a real terminal: a small console built from it runs in
// tmux, keys are typed and the screen is read back.
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/subprocess.h"
#include "tests/support/tmux_term.h"

namespace {

const std::string kDemo = VM_WKUI_DEMO;
// The title row of the menu: centred in the frame of an 80- or 100-column
// terminal.
const std::string kTitleAt80 = "\n" + std::string(32, ' ') + "TOOLKIT DEMO";
const std::string kTitleAt100 = "\n" + std::string(42, ' ') + "TOOLKIT DEMO";

// The demo under /bin/sh, which then prints the terminal's modes and the
// demo's status in the same pane.
// The shell outlives a Ctrl-C as an interactive one would.
void StartDemo(TTmuxTerm* term, const std::string& environment = "") {
  ASSERT_TRUE(
      term->Start("trap : INT; " + environment + kDemo + "; s=$?; stty -a; echo \"status=$s\""))
      << term->error();
  ASSERT_TRUE(term->WaitFor(kTitleAt80)) << term->error();
}

void ExpectCleanEnd(TTmuxTerm* term, const std::string& status = "status=0") {
  ASSERT_TRUE(term->WaitFor(status)) << term->error();
  std::string screen = term->Capture(false, true);
  EXPECT_TRUE(HasWord(screen, "echo")) << screen;
  EXPECT_TRUE(HasWord(screen, "icanon")) << screen;
  EXPECT_FALSE(HasWord(screen, "-echo")) << screen;
}

// The captured line holding `text`, with its attribute sequences.
std::string ColouredLine(TTmuxTerm* term, const std::string& text) {
  std::istringstream lines(term->Capture(true));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find(text) != std::string::npos) return line;
  }
  return "";
}

}  // namespace

TEST(ToolkitInTerminal, ArrowsMoveTheSelectionOverTheSeparator) {
  TTmuxTerm term;
  StartDemo(&term);
  ASSERT_TRUE(term.SendKeys({"Down"}));
  ASSERT_TRUE(term.WaitFor("Second entry"));
  // The highlight (black on white) follows the selection.
  for (int i = 0; i < 50 && ColouredLine(&term, "Second entry").find("47m") == std::string::npos;
       ++i) {
    term.WaitFor("TOOLKIT DEMO", 20);
  }
  EXPECT_NE(ColouredLine(&term, "Second entry").find("47m"), std::string::npos);
  EXPECT_EQ(ColouredLine(&term, "First entry").find("47m"), std::string::npos);
  ASSERT_TRUE(term.SendKeys({"Enter"}));
  ASSERT_TRUE(term.WaitFor("Chosen: Second entry")) << term.error();
  ASSERT_TRUE(term.SendKeys({"x"}));
  ASSERT_TRUE(term.WaitForGone("Chosen:")) << term.error();
  // Up from the first entry wraps to "Exit", the next passes the separator.
  ASSERT_TRUE(term.SendKeys({"Up", "Up", "Enter"}));
  ASSERT_TRUE(term.WaitFor("EDIT A VALUE")) << term.error();
}

TEST(ToolkitInTerminal, EscRestoresTheFieldThenLeaves) {
  TTmuxTerm term;
  StartDemo(&term);
  ASSERT_TRUE(term.SendKeys({"Down", "Down", "Enter"}));
  ASSERT_TRUE(term.WaitFor("Value: start")) << term.error();
  ASSERT_TRUE(term.SendText("abc"));
  ASSERT_TRUE(term.WaitFor("Value: abc\n")) << term.error();
  ASSERT_TRUE(term.SendKeys({"Escape"}));
  ASSERT_TRUE(term.WaitFor("Value: start")) << term.error();
  ASSERT_TRUE(term.SendText("new"));
  ASSERT_TRUE(term.SendKeys({"Enter"}));
  ASSERT_TRUE(term.WaitFor("Stored: new")) << term.error();
  ASSERT_TRUE(term.SendKeys({"Space"}));
  ASSERT_TRUE(term.WaitFor("Value: new")) << term.error();
  ASSERT_TRUE(term.SendKeys({"Escape"}));
  ASSERT_TRUE(term.WaitFor(kTitleAt80)) << term.error();
  ASSERT_TRUE(term.SendKeys({"Up", "Enter"}));
  ExpectCleanEnd(&term);
}

TEST(ToolkitInTerminal, TerminalRestoredAfterTerminationSignals) {
  for (int signal_number : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
    SCOPED_TRACE(signal_number);
    TTmuxTerm term;
    StartDemo(&term);
    pid_t demo = term.ChildPid();
    ASSERT_GT(demo, 0);
    ASSERT_EQ(kill(demo, signal_number), 0);
    ExpectCleanEnd(&term);
  }
}

TEST(ToolkitInTerminal, CtrlCInsideABoxEndsCleanly) {
  TTmuxTerm term;
  StartDemo(&term);
  ASSERT_TRUE(term.SendKeys({"Enter"}));
  ASSERT_TRUE(term.WaitFor("Chosen: First entry")) << term.error();
  ASSERT_TRUE(term.SendKeys({"C-c"}));
  ExpectCleanEnd(&term);
}

TEST(ToolkitInTerminal, TerminalRestoredAfterAFatalError) {
  struct {
    const char* fail;
    const char* status;
  } cases[] = {{"throw", "status=134"}, {"segv", "status=139"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fail);
    TTmuxTerm term;
    StartDemo(&term, std::string("WKUI_DEMO_FAIL=") + c.fail + " ");
    ASSERT_TRUE(term.SendKeys({"Enter"}));
    ExpectCleanEnd(&term, c.status);
  }
}

TEST(ToolkitInTerminal, ALoopIgnoringQuitIsEndedCleanly) {
  TTmuxTerm term;
  StartDemo(&term, "WKUI_DEMO_FAIL=spin ");
  ASSERT_TRUE(term.SendKeys({"Enter"}));
  ASSERT_TRUE(term.WaitFor("Reading keys for ever")) << term.error();
  ASSERT_EQ(kill(term.ChildPid(), SIGTERM), 0);
  ExpectCleanEnd(&term);
}

// A program deaf to the terminal's hang-up is not left running once the
// test's terminal is gone.
TEST(ToolkitInTerminal, NoProgramOfThePaneOutlivesTheTerminal) {
  pid_t shell = -1;
  {
    TTmuxTerm term;
    ASSERT_TRUE(term.Start("trap '' HUP TERM; echo deaf; while :; do sleep 1; done"))
        << term.error();
    ASSERT_TRUE(term.WaitFor("deaf")) << term.error();
    shell = term.ShellPid();
    ASSERT_GT(shell, 0);
  }
  EXPECT_TRUE(ProcessesOfSession(shell).empty());
}

TEST(ToolkitInTerminal, ResizeRedrawsTheMenuAtTheNewSize) {
  TTmuxTerm term;
  StartDemo(&term);
  ASSERT_TRUE(term.Resize(100, 30));
  ASSERT_TRUE(term.WaitFor(kTitleAt100)) << term.error();
  ASSERT_TRUE(term.SendKeys({"Down", "Enter"}));
  ASSERT_TRUE(term.WaitFor("Chosen: Second entry")) << term.error();
}

TEST(ToolkitInTerminal, TooSmallTerminalAsksForMoreAndGoesOn) {
  TTmuxTerm term;
  StartDemo(&term);
  ASSERT_TRUE(term.Resize(60, 20));
  ASSERT_TRUE(term.WaitFor("Terminal too small: 80x24 needed, 60x20 found.")) << term.error();
  // Keys wait for the resize.
  ASSERT_TRUE(term.SendKeys({"Enter"}));
  ASSERT_TRUE(term.Resize(80, 25));
  ASSERT_TRUE(term.WaitFor(kTitleAt80)) << term.error();
  EXPECT_EQ(term.Capture().find("Chosen:"), std::string::npos);
}

TEST(ToolkitInTerminal, StartsSmallThenGrows) {
  TTmuxTerm term;
  ASSERT_TRUE(term.Start(kDemo + "; echo \"status=$?\"", 70, 20)) << term.error();
  ASSERT_TRUE(term.WaitFor("80x24 needed, 70x20 found.")) << term.error();
  ASSERT_TRUE(term.Resize(80, 24));
  ASSERT_TRUE(term.WaitFor("TOOLKIT DEMO")) << term.error();
}

TEST(ToolkitInTerminal, UnknownTerminalTypeIsReported) {
  TTmuxTerm term;
  ASSERT_TRUE(term.Start("TERM=no-such-terminal " + kDemo + "; echo \"status=$?\""))
      << term.error();
  ASSERT_TRUE(term.WaitFor("status=0")) << term.error();
  EXPECT_TRUE(term.WaitFor("wkcfg: the terminal type \"no-such-terminal\" is unknown", 0))
      << term.error();
}

TEST(ToolkitWithoutTerminal, ClearMessageOnStandardError) {
  char dir_pattern[] = "/tmp/vmwkui.XXXXXX";
  ASSERT_NE(mkdtemp(dir_pattern), nullptr);
  const std::string err = std::string(dir_pattern) + "/err";
  int status = std::system((kDemo + " </dev/null >/dev/null 2>" + err).c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::ifstream in(err);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "wkcfg: needs a terminal: standard input and output must be one\n");
  std::remove(err.c_str());
  rmdir(dir_pattern);
}
