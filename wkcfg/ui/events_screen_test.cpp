// The events screen walked through the recording terminal with key scripts,
// over a console state set up as the program sets it up: an installation
// tree with its language file, model database and default events, the
// stored model selected.
#include "wkcfg/ui/events_screen.h"

#include <errno.h>
#include <unistd.h>

#include <cstring>

#include <gtest/gtest.h>

#include "common/lang.h"
#include "tui/console_ui.h"
#include "tui/crt.h"
#include "tui/ctrls.h"
#include "tui/fake_terminal.h"
#include "wkcfg/model/console_state.h"
#include "wkcfg/model/model_test_tree.h"
#include "wkcfg/ui/screens.h"

namespace {

const char kLanguage[] =
    "[ERRORS]\n100008=This field must not be empty.\n"
    "[WKCFG]\nNoUpsSelected=No UPS selected\n"
    "InfoEventsReset=All events and their jobs will be replaced by the defaults of the selected "
    "UPS model.^Continue ?\n"
    "[EVENTS]\n0=Mains power failure\n2=Battery low\n9=End of autonomy\n"
    "[ACTIONS]\nCount=10\n0=Show a pop-up message\n1=Write an entry to the log file\n"
    "2=Shut down this computer\n3=Shut down a remote computer\n"
    "4=Send a message to a remote computer\n5=Run custom script 1 on a remote computer\n"
    "6=Run custom script 2 on a remote computer\n7=Run custom script 3 on a remote computer\n"
    "8=Run a local script\n9=Send an e-mail\n10=Write an entry to the system event log\n";
const char kModel[] =
    "Model A|0|0|0|4|0|0|0|0|0|0|0|0|0|8|0|1|60|600|1|10|600|1|1|1|0|FAM|0|0|"
    "1|1|1|1|1|1|1|1|1|1|1|1";
const char kDefaults[] =
    "[COMMON]\nEvCounter=1\nEv0=0|$POPUP,*|$LOG\n"
    "[FAM]\nEvCounter=1\nEv0=2|$POPUP,*|$SHUTDOWN\n";
const char kPressAnyKey[] = "Press any key to continue";

// Index of each action in the job chooser.
enum { kPopup = 0, kLog = 1, kRemoteShut = 3, kRemoteMsg = 4, kLocalShell = 8, kEmail = 9 };

std::vector<int> Downs(int n) {
  return std::vector<int>(static_cast<size_t>(n), kKeyDown);
}

class EventsScreenTest : public ::testing::Test {
 protected:
  EventsScreenTest() {
    tree_.Write("languages/english.lng", kLanguage);
    tree_.WriteDatabase({kModel});
    tree_.Write("bin/defevent.evn", kDefaults);
    ConsoleState() = TConsoleState();
    TConsoleState& state = ConsoleState();
    state.setup.InstallPath = tree_.Root();
    state.NoUpsSelectedText = LangText("NoUpsSelected", "WKCFG");
    EXPECT_EQ(LoadUpsDatabase(&state.database, UpsDatabasePath(state)), 0);
    state.setup.Ups.UpsModelName = "Model A";
    EXPECT_EQ(SelectStoredModel(&state), 0);
    UseTerminal(&term_);
    InitConsoleUi();
    // Events files are named as typed, relative to where the console runs.
    EXPECT_NE(getcwd(start_dir_, sizeof start_dir_), nullptr);
    EXPECT_EQ(chdir(tree_.Root().c_str()), 0);
  }
  ~EventsScreenTest() override {
    EXPECT_EQ(chdir(start_dir_), 0);
    UseTerminal(nullptr);
    ConsoleState() = TConsoleState();
  }

  TEvents& Model() { return ConsoleState().setup.Ups.Events; }
  void SetEvents(const TTextList& lines) {
    Model().ClearEvents();
    for (const std::string& line : lines) ASSERT_TRUE(Model().AddEventLine(line));
  }
  // Every event line, each followed by ";".
  std::string Events() {
    std::string all;
    for (int i = 0; i < Model().Count(); ++i) all += Model().EventLine(i) + ";";
    return all;
  }
  // The screen run with the keys; it ends with them (the fake answers
  // kKeyQuit once the script is used up), or earlier with ESC.
  void Run(const std::vector<int>& keys) {
    term_.ClearRecord();
    term_.AddKeys(keys);
    EventsScreen();
  }
  // Keys that type `text` and then ENTER.
  static std::vector<int> Typed(const std::string& text) {
    std::vector<int> keys(text.begin(), text.end());
    keys.push_back(kKeyEnter);
    return keys;
  }
  // The keys of the chooser picking action `action`.
  static std::vector<int> Insert(int action) {
    std::vector<int> keys{'i'};
    for (int key : Downs(action)) keys.push_back(key);
    keys.push_back(kKeyEnter);
    return keys;
  }
  static std::vector<int> Join(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> keys;
    for (const auto& part : parts) keys.insert(keys.end(), part.begin(), part.end());
    return keys;
  }
  // How many writes held `text`.
  int Wrote(const std::string& text) const {
    int count = 0;
    for (const auto& write : term_.writes()) {
      if (write.text.find(text) != std::string::npos) ++count;
    }
    return count;
  }
  // Row `row` (1-based) of the current window as shown.
  std::string WindowRow(int row) const {
    const auto& w = term_.window();
    return term_.ScreenRow(w.row + row)
        .substr(static_cast<size_t>(w.column), static_cast<size_t>(w.columns));
  }

  TModelTestTree tree_;
  TFakeTerminal term_{80, 25};
  char start_dir_[4096] = {};
};

}  // namespace

TEST_F(EventsScreenTest, DrawsItsTextsInsideTheFrameAndLeavesWithEsc) {
  SetEvents({"2|$POPUP,*|$R_SHELL_1,a-very-long-host-name.branch-office.example.com,6005"});
  Run({kKeyEsc, 'x'});
  EXPECT_EQ(term_.keys_left(), 1);  // ESC left the screen
  // The frame at 80x25: 76 x 23 from column 3, row 2; the jobs list below it.
  EXPECT_EQ(term_.windows()[0].column, 2);
  EXPECT_EQ(term_.windows()[0].columns, 76);
  EXPECT_EQ(term_.windows()[0].lines, 23);
  EXPECT_EQ(term_.ScreenRow(3).substr(28, 20), "EVENTS CONFIGURATION");
  EXPECT_EQ(term_.ScreenRow(6).substr(5, 52),
            "Possible events for current UPS  [press S for list]:");
  EXPECT_EQ(term_.ScreenRow(7).substr(5, 11), "Battery low");
  EXPECT_EQ(term_.ScreenRow(9).substr(5, 39), "Configured jobs list for current event:");
  EXPECT_EQ(term_.ScreenRow(19).substr(3, 71),
            " [I] Insert job     [P] Move job Up         [L] Load Events from file  ");
  EXPECT_EQ(term_.ScreenRow(20).substr(3, 71),
            " [E] Edit job                               [W] Save Events to file    ");
  EXPECT_EQ(term_.ScreenRow(21).substr(3, 71),
            " [D] Delete job     [N] Move job Down       [R] Reset Events to default");
  EXPECT_TRUE(term_.Shows("<< Press [ESC] to return to Main Menu >>"));
  // The jobs list: 70 x 8 at column 6, row 10; the long line cut inside it.
  const auto& list = term_.window();
  EXPECT_EQ(list.column, 5);
  EXPECT_EQ(list.row, 9);
  EXPECT_EQ(list.columns, 70);
  EXPECT_EQ(WindowRow(2), PadText(" - Show a pop-up message", 70, kPadLeftJustify));
  const std::string line =
      " - Run custom script 1 on a remote computer (a-very-long-host-name.branch-office";
  EXPECT_EQ(WindowRow(3), line.substr(0, 69) + " ");
  EXPECT_EQ(WindowRow(4), std::string(70, ' '));
}

TEST_F(EventsScreenTest, InsertPlacesJobsBeforeAFinalShutdown) {
  SetEvents({"2|$POPUP,*|$SHUTDOWN", "0|$LOG"});
  Run(Join({Insert(kLog),
            Insert(kEmail),
            Typed("ops@example.com"),
            {kKeyEnter},
            {'i', kKeyEsc},
            Insert(kPopup)}));
  EXPECT_EQ(Events(), "2|$POPUP,*|$LOG|$EMAIL,ops@example.com|$POPUP,*|$SHUTDOWN;0|$LOG;");
  EXPECT_EQ(Wrote("SELECT JOB TO INSERT:"), 4);
  EXPECT_EQ(Wrote("[ENTER] Select          [ESC] Cancel"), 4);
  EXPECT_EQ(Wrote("NEW JOB : Send an e-mail"), 1);
  EXPECT_EQ(Wrote(kPressAnyKey), 0);  // a new job without parameters has no notice
}

TEST_F(EventsScreenTest, ChooserNeverSelectsPastItsLastEntry) {
  SetEvents({"0|$LOG"});
  Run(Join({{'i'}, Downs(30), {kKeyEnter}, Typed("a@b"), {kKeyEnter}}));
  EXPECT_EQ(Events(), "0|$LOG|$EMAIL,a@b;");
}

TEST_F(EventsScreenTest, RemoteJobStartsWithPort6005AndRefusesEmptyAddressAndBadPort) {
  SetEvents({"2|$POPUP,*|$SHUTDOWN"});
  Run(Join({Insert(kRemoteShut),
            {kKeyDown, kKeyDown, kKeyEnter, 'k'},  // OK with no address: refused
            Typed("10.0.0.5"),
            Typed("70000"),
            {'k'},  // out of range: refused, the focus stays
            {kKeyDown, kKeyEnter}}));
  EXPECT_EQ(Events(), "2|$POPUP,*|$R_SHUT,10.0.0.5,6005|$SHUTDOWN;");
  EXPECT_EQ(Wrote("NEW JOB : Shut down a remote computer"), 3);  // opened, after each box
  EXPECT_EQ(Wrote("This field must not be empty."), 1);
  EXPECT_EQ(Wrote("Error !  Number is invalid or out of range [1 - 65535]"), 1);

  // Cancel and ESC store nothing.
  Run(Join({Insert(kRemoteMsg),
            Typed("h"),
            {kKeyDown, kKeyDown, kKeyEnter},
            Insert(kLocalShell),
            {kKeyEsc}}));
  EXPECT_EQ(Events(), "2|$POPUP,*|$R_SHUT,10.0.0.5,6005|$SHUTDOWN;");
}

TEST_F(EventsScreenTest, DialogRowsButtonsAndFocusAt80x25) {
  std::string job;
  term_.AddKeys({kKeyUp});
  EXPECT_FALSE(EditJobDialog(&job, kRemoteShut, true));  // ends on the focused Cancel button
  const auto& dialog = term_.window();
  EXPECT_EQ(dialog.columns, 74);
  EXPECT_EQ(dialog.lines, 14);
  EXPECT_EQ(WindowRow(5).substr(2, 24), "Computer TCP/IP address:");
  EXPECT_EQ(WindowRow(7).substr(2, 24), "TCP/IP port [def. 6005]:");
  EXPECT_EQ(WindowRow(7).substr(27, 5), "6005 ");
  EXPECT_EQ(WindowRow(11).substr(30, 10), "  [ OK ]  ");
  EXPECT_EQ(WindowRow(13).substr(30, 10), " [Cancel] ");
  EXPECT_EQ(term_.AttrAt(dialog.column + 31, dialog.row + 13), 0x71);  // focused: (1, 7)
  EXPECT_EQ(term_.AttrAt(dialog.column + 31, dialog.row + 11), 0x30);
}

TEST_F(EventsScreenTest, EditOfLogShowsTheNoticeAndOfMslogNothing) {
  SetEvents({"0|$LOG|$MSLOG|$R_MSG,h,6005"});
  Run(Join({{'e', 'k'},
            {kKeyDown, 'E'},
            {kKeyDown, kKeyDown, 'e', kKeyDown},
            Typed("7000"),
            {kKeyEnter}}));
  EXPECT_EQ(Events(), "0|$LOG|$MSLOG|$R_MSG,h,7000;");
  EXPECT_EQ(Wrote("No parameters for modification !"), 1);
  EXPECT_EQ(Wrote("EDIT JOB : Send a message to a remote computer"), 1);
}

TEST_F(EventsScreenTest, DeleteAndMovesAtBothEnds) {
  SetEvents({"2|$POPUP,*|$LOG|$SHUTDOWN"});
  // Up at the top and down at the bottom change nothing; arrows past the
  // last line stay on it.
  Run(Join({{'p'}, Downs(8), {'n'}}));
  EXPECT_EQ(Events(), "2|$POPUP,*|$LOG|$SHUTDOWN;");
  Run({'N'});
  EXPECT_EQ(Events(), "2|$LOG|$POPUP,*|$SHUTDOWN;");
  Run(Join({Downs(2), {'P'}}));
  EXPECT_EQ(Events(), "2|$LOG|$SHUTDOWN|$POPUP,*;");
  Run(Join({Downs(9), {'d'}, {'D'}}));
  EXPECT_EQ(Events(), "2|$SHUTDOWN;");
  Run({'d', 'd', 'p', 'n', 'e'});  // no question; then no jobs left to act on
  EXPECT_EQ(Events(), "2;");
  EXPECT_TRUE(term_.Shows("Configured jobs list for current event:   NO JOBS CONFIGURED !!!"));
}

TEST_F(EventsScreenTest, JobOfUnknownActionHasItsOwnLine) {
  SetEvents({"3|$LOG|$FOO,1|$LOG|$SHUTDOWN"});
  Run(Join({{kKeyDown, 'e', 'k'}}));  // kept as it came
  EXPECT_EQ(Events(), "3|$LOG|$FOO,1|$LOG|$SHUTDOWN;");
  EXPECT_TRUE(term_.Shows(" - $FOO,1 "));
  EXPECT_EQ(Wrote("No parameters for modification !"), 1);
  Run(Join({Downs(2), {'d'}}));  // two equal lines: the first is meant
  EXPECT_EQ(Events(), "3|$FOO,1|$LOG|$SHUTDOWN;");
  Run({'n'});
  EXPECT_EQ(Events(), "3|$LOG|$FOO,1|$SHUTDOWN;");
  Run(Join({Downs(1), {'D'}}));
  EXPECT_EQ(Events(), "3|$LOG|$SHUTDOWN;");
}

TEST_F(EventsScreenTest, SaveToAFileAndLoadItBack) {
  SetEvents({"2|$POPUP,*|$SHUTDOWN", "9|$LOG|$EMAIL,a@b"});
  Run(Join({{'w'}, Typed("my events")}));
  EXPECT_EQ(tree_.Read("my events"), "2|$POPUP,*|$SHUTDOWN\n9|$LOG|$EMAIL,a@b\n");
  EXPECT_EQ(Wrote("File saved properly."), 1);

  SetEvents({"0|$LOG", "1", "4"});
  // After the load the first event of the file is shown and S lists exactly
  // the file's events: its last one, chosen, loses its first job.
  Run(Join({{'L'}, Typed("my events"), {'k', 'S'}, Downs(5), {kKeyEnter, 'd'}}));
  EXPECT_EQ(Wrote("File loaded properly."), 1);
  EXPECT_EQ(Events(), "2|$POPUP,*|$SHUTDOWN;9|$EMAIL,a@b;");
  Run(Join({{'l'}, Typed("my events"), {'k'}}));
  EXPECT_EQ(term_.ScreenRow(7).substr(5, 12), "Battery low ");
}

TEST_F(EventsScreenTest, FileErrorsShowTheSystemTextAndEscCancels) {
  SetEvents({"2|$LOG"});
  Run(Join({{'l'}, Typed("missing.evn"), {'k'}, {'W'}, Typed("no/such/dir.evn"), {'k'}}));
  EXPECT_EQ(Wrote(std::strerror(ENOENT)), 2);
  EXPECT_EQ(Events(), "2|$LOG;");

  Run({'w', kKeyEsc, 'L', kKeyEsc});
  EXPECT_EQ(Wrote("Save as:"), 1);
  EXPECT_EQ(Wrote("Open:"), 1);
  EXPECT_EQ(Wrote(kPressAnyKey), 0);
  EXPECT_EQ(Events(), "2|$LOG;");
}

TEST_F(EventsScreenTest, LoadOfMoreThan255EventsSaysTheListWasCut) {
  std::string lines;
  for (int i = 0; i < 300; ++i) lines += std::to_string(i) + "|$LOG\n";
  tree_.Write("many.evn", lines);
  SetEvents({"2|$LOG"});
  Run(Join({{'l'}, Typed("many.evn"), {'k'}}));
  EXPECT_EQ(Model().Count(), 255);
  EXPECT_EQ(Model().EventLine(0), "0|$LOG");
  EXPECT_EQ(Model().EventLine(254), "254|$LOG");
  EXPECT_EQ(Wrote("Only the first 255 events were loaded: the list was cut."), 1);
  EXPECT_EQ(Wrote("File loaded properly."), 0);
}

TEST_F(EventsScreenTest, ResetAsksFirstThenBringsTheModelsDefaults) {
  SetEvents({"7|$LOG", "9|$SHUTDOWN"});
  Run({'r', 'n'});
  EXPECT_EQ(Events(), "7|$LOG;9|$SHUTDOWN;");
  Run({'R', 'Y'});
  EXPECT_EQ(Events(), "0|$POPUP,*|$LOG;2|$POPUP,*|$SHUTDOWN;");

  // The question wrapped at blanks inside its box of 71 columns, each line
  // from column 2.
  Run({'r'});
  const struct {
    std::string text;
    int row;
  } lines[] = {{"All events and their jobs will be replaced by the defaults of the", 2},
               {"selected UPS model.", 3},
               {"Continue ?", 4}};
  for (const auto& line : lines) {
    int shown = 0;
    for (const auto& write : term_.writes()) {
      if (write.text != line.text) continue;
      ++shown;
      EXPECT_EQ(write.column, 2);
      EXPECT_EQ(write.row, line.row);
    }
    EXPECT_EQ(shown, 1) << line.text;
  }
  EXPECT_EQ(Wrote("[Y] Confirm      [N] Cancel"), 1);
}

TEST_F(EventsScreenTest, NoEventsAtAll) {
  SetEvents({});
  Run({'i', 'e', 'd', 'p', 'n', 's', kKeyEnter, kKeyDown, 'x', kKeyEsc, 'x'});
  EXPECT_EQ(term_.keys_left(), 1);
  EXPECT_EQ(Events(), "");
  EXPECT_EQ(Wrote("SELECT JOB TO INSERT:"), 0);
  EXPECT_TRUE(term_.Shows("Configured jobs list for current event:   NO JOBS CONFIGURED !!!"));
  EXPECT_EQ(term_.ScreenRow(7).substr(5, 70), std::string(70, ' '));  // the empty event field
  // Saving them gives an empty file; the reset still brings the defaults.
  Run(Join({{'w'}, Typed("none.evn"), {'k', 'r', 'y'}}));
  EXPECT_EQ(tree_.Read("none.evn"), "");
  EXPECT_EQ(Events(), "0|$POPUP,*|$LOG;2|$POPUP,*|$SHUTDOWN;");
}

TEST_F(EventsScreenTest, RedrawsWholeAfterAResize) {
  SetEvents({"2"});
  term_.AddKeys({'x'});
  term_.AddResize(100, 30);
  EventsScreen();
  // The frame of the new size: 95 + 1 columns, 27 + 1 lines.
  EXPECT_EQ(term_.window().columns, 96);
  EXPECT_EQ(term_.window().lines, 28);
  EXPECT_TRUE(term_.Shows("EVENTS CONFIGURATION"));
  EXPECT_TRUE(term_.Shows(" [R] Reset Events to default"));
  EXPECT_TRUE(term_.Shows("NO JOBS CONFIGURED !!!"));
}

TEST_F(EventsScreenTest, ChooserAndDialogOnTheirOwn) {
  int action = 7;
  term_.AddKeys({kKeyEsc});
  EXPECT_FALSE(ChooseJobType(&action));
  EXPECT_EQ(action, -1);
  term_.AddKeys({'x', kKeyDown, kKeyEnter});  // another key shows the chooser again
  EXPECT_TRUE(ChooseJobType(&action));
  EXPECT_EQ(action, 1);
  EXPECT_FALSE(ChooseJobType(&action));  // the program must end
  EXPECT_EQ(action, -1);

  std::string job = "$MSLOG";
  term_.ClearRecord();
  EXPECT_FALSE(EditJobDialog(&job, 10, false));
  EXPECT_FALSE(EditJobDialog(&job, 11, true));
  EXPECT_TRUE(term_.windows().empty());
  EXPECT_EQ(job, "$MSLOG");
  job.clear();
  EXPECT_TRUE(EditJobDialog(&job, 0, true));
  EXPECT_EQ(job, "$POPUP,*");
  job = "$POPUP,other";
  term_.AddKeys({'k'});
  EXPECT_TRUE(EditJobDialog(&job, 0, false));
  EXPECT_EQ(job, "$POPUP,*");
  job = "$L_SHELL,/old.sh";
  term_.AddKeys(Typed("/new.sh"));  // then the program must end: nothing stored
  EXPECT_FALSE(EditJobDialog(&job, 8, false));
  EXPECT_EQ(job, "$L_SHELL,/old.sh");

  ConsoleUi().ActionsList.clear();
  term_.AddKeys({kKeyEnter});
  EXPECT_FALSE(ChooseJobType(&action));
  EXPECT_EQ(action, -1);
}
