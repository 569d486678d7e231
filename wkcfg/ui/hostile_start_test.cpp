// The console's start on hostile files: each case mutates one file of an
// otherwise sound installation, runs the start-up loads and then opens every
// screen the main menu offers, leaving it with ESC. The start must end in
// the expected outcome, the record must hold what the loader promises, and
// no screen may read past its data (the sanitizer builds run these too).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "common/scramble.h"
#include "wkcfg/ui/console_flow.h"
#include "wkcfg/ui/screen_test_tree.h"
#include "wkcfg/ui/screens.h"

namespace {

const char kBaseConfig[] = "[Wattkeep]\nUpsModelName=Alpha\nUpsDevice=USB\nSrvLocation=Lab\n";

std::string Repeat(const std::string& text, size_t times) {
  std::string out;
  out.reserve(text.size() * times);
  for (size_t i = 0; i < times; ++i) out += text;
  return out;
}

std::string RandomBytes(size_t size) {
  std::mt19937 random(7);
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(random() & 0xff);
  return out;
}

// 255 events of 200 jobs each.
std::string ManyEvents() {
  std::string text = "EventCounter=255\n";
  const std::string jobs = Repeat("|$R_SHUT,10.0.0.1,6005", 199) + "|$SHUTDOWN";
  for (int n = 0; n < 255; ++n)
    text += "Event" + std::to_string(n) + "=" + std::to_string(n) + jobs + "\n";
  return text;
}

struct TScreenEntry {
  const char* name;
  void (*open)();
};
const TScreenEntry kAllScreens[] = {
    {"system", SystemConfigScreen},
    {"shutdown", ShutdownConfigScreen},
    {"log and data", LogDataConfigScreen},
    {"mail", MailServerConfigScreen},
    {"events", EventsScreen},
    {"advanced system", AdvancedSystemScreen},
    {"advanced shutdown", AdvancedShutdownScreen},
    {"qs system", AdvancedQsSystemScreen},
    {"calibration", CalibrationTestScreen},
};

struct THostileCase {
  const char* name;
  std::function<void(const TModelTestTree&)> mutate;
  TStartup expected;
  // What must hold of the loaded state (only for a start that is ready).
  std::function<void(const TConsoleState&)> check;
};

class HostileStart : public ScreenTest {
 protected:
  void Prepare() {
    tree_.Write("bin/voltmon.cfg",
                "[Globals]\nInstallPath=" + tree_.Root() + "\nLanguageFile=english.lng\n");
    tree_.Write("bin/wksrv.cfg", kBaseConfig);
  }
  TStartup Load() {
    ConsoleState() = TConsoleState();
    return LoadConsole(tree_.Root() + "bin/", &ConsoleState(), tree_.Root() + "proc");
  }
  // Opens `screen` on a terminal of its own with nothing but ways out typed;
  // true when it returned before they ran out.
  static bool LeavesWithEsc(void (*screen)()) {
    TFakeTerminal term(80, 25);
    UseTerminal(&term);
    SetResizeCallback(ComputeFrame);
    InitConsoleUi();
    for (int i = 0; i < 4; ++i) term.AddKeys({'n', kKeyEsc, kKeyEsc});
    screen();
    const bool left = term.keys_left() > 0;
    UseTerminal(nullptr);
    return left;
  }
  // True when the screen rightly keeps the user until a value is given.
  static bool ExitRefused(void (*screen)()) {
    const TSetupData& setup = ConsoleState().setup;
    if (screen == SystemConfigScreen) return setup.Server.UpsDevice.empty();
    const TEmailSetup& email = setup.Email;
    return screen == MailServerConfigScreen && email.EmailUseAuth &&
           (email.EmailLogin.empty() || email.EmailPassword.empty());
  }
  void OpenEveryScreen() {
    const bool selected = ModelSelected(ConsoleState());
    for (const TScreenEntry& entry : kAllScreens) {
      SCOPED_TRACE(entry.name);
      if (!selected && entry.open != SystemConfigScreen) continue;
      EXPECT_TRUE(LeavesWithEsc(entry.open) || ExitRefused(entry.open));
    }
  }
};

const THostileCase kCases[] = {
    {"config of 10 MB",
     [](const TModelTestTree& t) {
       t.Write("bin/wksrv.cfg",
               kBaseConfig + Repeat("Junk=" + std::string(90, 'j') + "\n", 110000));
     },
     TStartup::kReady,
     [](const TConsoleState& s) { EXPECT_EQ(s.setup.Server.SrvLocation, "Lab"); }},
    {"config of binary bytes",
     [](const TModelTestTree& t) { t.Write("bin/wksrv.cfg", RandomBytes(65536)); },
     TStartup::kReady, [](const TConsoleState& s) { EXPECT_LE(s.setup.Ups.Events.Count(), 255); }},
    {"config line of 1 MB",
     [](const TModelTestTree& t) {
       t.Write("bin/wksrv.cfg", std::string(kBaseConfig) +
                                    "SrvDownTime=" + std::string(1 << 20, '9') +
                                    "\nUpsDevice=" + std::string(1 << 20, 'd') + "\n");
     },
     TStartup::kReady,
     [](const TConsoleState& s) {
       EXPECT_EQ(s.setup.Server.SrvDownTime, 180);
       EXPECT_EQ(s.setup.Server.UpsDevice, "USB");
     }},
    {"config with CRLF",
     [](const TModelTestTree& t) {
       t.Write("bin/wksrv.cfg",
               "[Wattkeep]\r\nUpsModelName=Alpha\r\nUpsDevice=USB\r\nSrvListenPort=70000\r\n");
     },
     TStartup::kReady,
     [](const TConsoleState& s) {
       EXPECT_EQ(s.setup.Ups.UpsModelName, "Alpha");
       EXPECT_EQ(s.setup.Server.SrvListenPort, 4464);
     }},
    {"duplicate sections and keys",
     [](const TModelTestTree& t) {
       t.Write("bin/wksrv.cfg",
               std::string(kBaseConfig) +
                   "SrvLocation=Second\n[wattkeep]\nSrvLocation=Third\nUpsDevice=\n");
     },
     TStartup::kReady,
     [](const TConsoleState& s) { EXPECT_EQ(s.setup.Server.SrvLocation, "Lab"); }},
    {"EventCounter -1",
     [](const TModelTestTree& t) {
       t.Write("bin/wksrv.cfg",
               std::string(kBaseConfig) + "EventCounter=-1\nEvent0=1|$LOG\nEvent254=2|$LOG\n");
     },
     TStartup::kReady, [](const TConsoleState& s) { EXPECT_EQ(s.setup.Ups.Events.Count(), 2); }},
    {"EventCounter 4294967295",
     [](const TModelTestTree& t) {
       t.Write("bin/wksrv.cfg",
               std::string(kBaseConfig) + "EventCounter=4294967295\nEvent0=1|$LOG\n");
     },
     TStartup::kReady, [](const TConsoleState& s) { EXPECT_EQ(s.setup.Ups.Events.Count(), 0); }},
    {"255 events of 200 jobs",
     [](const TModelTestTree& t) { t.Write("bin/wksrv.cfg", kBaseConfig + ManyEvents()); },
     TStartup::kReady,
     [](const TConsoleState& s) {
       ASSERT_EQ(s.setup.Ups.Events.Count(), 255);
       EXPECT_EQ(s.setup.Ups.Events.Lists()[254].size(), 201u);
     }},
    {"database of 20,000 lines",
     [](const TModelTestTree& t) {
       TTextList lines;
       for (int i = 0; i < 20000; ++i)
         lines.push_back(ModelLine(
             {"M" + std::to_string(i), 1, 0, 600, 1, 0, 300, 1, false, false, "111111111111"}));
       lines.push_back(ModelLine(kAlpha));
       t.WriteDatabase(lines);
     },
     TStartup::kReady, [](const TConsoleState& s) { EXPECT_EQ(s.database.Models.size(), 20001u); }},
    {"database line of odd length",
     [](const TModelTestTree& t) { t.Write("bin/upsdb.ups", Scramble(ModelLine(kAlpha)) + "0\n"); },
     TStartup::kReady,
     [](const TConsoleState& s) { EXPECT_EQ(s.setup.Ups.UpsModelName, "Alpha"); }},
    {"database line of the model cut short",
     [](const TModelTestTree& t) {
       const std::string line = Scramble(ModelLine(kAlpha));
       t.Write("bin/upsdb.ups", line.substr(0, line.size() / 2) + "\n");
     },
     TStartup::kBadModel, nullptr},
    {"database with garbage beside a good line",
     [](const TModelTestTree& t) {
       t.Write("bin/upsdb.ups",
               "ZZZZ\n" + Scramble(ModelLine(kAlpha)) + "\nABC\n" + RandomBytes(300) + "\n");
     },
     TStartup::kReady,
     [](const TConsoleState& s) { EXPECT_EQ(s.setup.Ups.UpsModelName, "Alpha"); }},
    {"empty database", [](const TModelTestTree& t) { t.Write("bin/upsdb.ups", ""); },
     TStartup::kReady, [](const TConsoleState& s) { EXPECT_EQ(s.setup.Ups.UpsModelName, "None"); }},
    {"language file without the console's sections",
     [](const TModelTestTree& t) { t.Write("languages/english.lng", "[QSSRV]\nStart=x\n"); },
     TStartup::kReady, [](const TConsoleState& s) { EXPECT_EQ(s.NoUpsSelectedText, ""); }},
};

TEST_F(HostileStart, EachFileMutationStartsOrEndsAsPromised) {
  for (const THostileCase& c : kCases) {
    SCOPED_TRACE(c.name);
    Prepare();
    tree_.WriteDatabase({ModelLine(kAlpha), ModelLine(kBeta), ModelLine(kGamma)});
    tree_.Write(
        "languages/english.lng",
        "[WKCFG]\nNoUpsSelected=None\n[ERRORS]\n100007=Model unreadable\n[ACTIONS]\nCount=0\n");
    c.mutate(tree_);
    ASSERT_EQ(Load(), c.expected);
    if (c.expected != TStartup::kReady) continue;
    c.check(ConsoleState());
    OpenEveryScreen();
  }
}

}  // namespace

namespace {

// A stored text far longer than its field is cut on the screen, so that it
// cannot run over the rows below it; the record keeps it whole.
TEST_F(ScreenTest, OverlongStoredTextsStayInsideTheirFields) {
  Select(kAlpha);
  Record().Server.UpsDevice = "USB";
  Record().Server.SrvLocation = std::string(100000, 'x');
  Keys({kKeyEsc});
  SystemConfigScreen();
  int shown = 0;
  for (int row = 1; row <= 25; ++row) {
    const std::string line = term_.ScreenRow(row);
    shown += static_cast<int>(std::count(line.begin(), line.end(), 'x'));
  }
  EXPECT_GT(shown, 0);
  EXPECT_LE(shown, ConsoleUi().FieldAreaWidth);
  EXPECT_TRUE(term_.Shows("Password for configuration:"));
  EXPECT_EQ(Record().Server.SrvLocation.size(), 100000u);
}

}  // namespace

namespace {

// A list open when the terminal changes size comes back open over the
// redrawn screen, so the user's next keys still act on it.
TEST_F(ScreenTest, ResizeKeepsAChoiceListOpen) {
  Record().Server.UpsDevice = "USB";
  Keys({kKeyEnter});
  term_.AddResize(100, 30);
  term_.AddResize(80, 25);
  Keys({kKeyDown, kKeyEnter, kKeyEsc});
  SystemConfigScreen();
  EXPECT_EQ(Record().Ups.UpsModelName, "Beta");
  EXPECT_EQ(Record().Server.UpsDevice, "USB");
  EXPECT_EQ(term_.keys_left(), 0);
}

}  // namespace

namespace {

// A box open over a screen when the terminal changes size comes back over
// that screen drawn whole, not alone on a cleared terminal.
TEST_F(ScreenTest, ResizeUnderABoxRedrawsTheScreenBeneath) {
  struct TBoxCase {
    const char* name;
    const char* device;
    std::vector<int> open;  // keys that open the box from the screen's first row
    const char* box;
  };
  const TBoxCase cases[] = {
      {"question", "USB", {kKeyEnter, kKeyDown, kKeyEnter}, "[Y] Confirm"},
      {"error", "", {kKeyEsc}, "Press any key"},
  };
  for (const TBoxCase& c : cases) {
    SCOPED_TRACE(c.name);
    TFakeTerminal term(80, 25);
    UseTerminal(&term);
    SetResizeCallback(ComputeFrame);
    Select(kAlpha);
    Record().Server.UpsDevice = c.device;
    term.AddKeys(c.open);
    term.AddResize(80, 25);
    term.AddSnapshot();
    SystemConfigScreen();
    ASSERT_EQ(term.snapshots().size(), 1u);
    std::string screen;
    for (const std::string& line : term.snapshots()[0]) screen += line + "\n";
    EXPECT_NE(screen.find(c.box), std::string::npos) << screen;
    EXPECT_NE(screen.find("Device for communications:"), std::string::npos) << screen;
    EXPECT_NE(screen.find("Press [ESC] to return"), std::string::npos) << screen;
    UseTerminal(&term_);
  }
}

}  // namespace
