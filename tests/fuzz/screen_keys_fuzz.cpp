// Fuzzes the console's screens with random key sequences through the
// recording terminal. The first bytes choose the screen, the model, a few
// settings and the events the screen starts with; every further byte is a
// key (or a resize). After the random keys the terminal is set to a usable
// size and a tail of "n", ESC, ESC rounds follows: every screen must have
// returned before that tail runs out, unless its exit check still refuses
// (a screen that needs a value before it can be left).
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "common/lang.h"
#include "common/scramble.h"
#include "tests/fuzz/fuzz_support.h"
#include "tui/console_ui.h"
#include "tui/crt.h"
#include "tui/fake_terminal.h"
#include "wkcfg/model/console_state.h"
#include "wkcfg/ui/screens.h"

namespace {

// Rounds of the leaving tail; more than the deepest nesting of boxes.
constexpr int kLeaveRounds = 12;

void (*const kScreens[])() = {
    SystemConfigScreen,     ShutdownConfigScreen,   LogDataConfigScreen,
    MailServerConfigScreen, EventsScreen,           AdvancedSystemScreen,
    AdvancedShutdownScreen, AdvancedQsSystemScreen, CalibrationTestScreen,
};
constexpr size_t kScreenCount = sizeof kScreens / sizeof kScreens[0];

// Keys the screens act on, with a printable alphabet that holds no "/" or
// ".": a file name typed on the events screen stays in the working
// directory, a fresh one of the run's own.
const int kKeys[] = {
    kKeyTab, kKeyEnter, kKeyEsc, kKeyDown, kKeyUp, kKeyLeft, kKeyBackspace, kKeyDelete, kKeyNone,
    262,     264,       265,     'y',      'n',    'Y',      'N',           'i',        'e',
    'd',     'p',       'l',     'w',      'r',    's',      'I',           'E',        'D',
    'P',     'L',       'W',     'R',      'S',    '0',      '1',           '5',        '9',
    '-',     ' ',       'a',     'x',      ',',    '|',
};
constexpr size_t kKeyCount = sizeof kKeys / sizeof kKeys[0];

const struct {
  int columns, lines;
} kSizes[] = {{20, 5}, {79, 24}, {80, 24}, {80, 25}, {81, 30}, {132, 50}, {200, 60}, {90, 24}};

// Three models: smart autonomy with calibration and restart tied to
// switch-off; restart delays in steps; switch-off and restart forced on.
const char* const kModels[] = {
    "Alpha|0|0|0|3|0|0|0|0|0|0|0|0|0|2|0|1|60|3600|3|10|900|1|1|1|0|FAM_A|0|0|1|1|1|1|1|1|1|1|1|1|"
    "1|1",
    "Beta|0|0|0|3|0|0|0|0|0|0|0|0|0|8|0|1|0|600|1|30|300|30|0|0|0|FAM_B|0|0|0|1|0|0|0|0|0|0|0|1|0|"
    "0",
    "Gamma|0|0|0|1|0|0|0|0|0|0|0|0|0|1|0|2|0|600|2|0|300|1|0|0|0|FAM_A|0|0|1|1|1|1|1|1|1|1|1|1|1|"
    "1",
};
const char* const kModelNames[] = {"Alpha", "Beta", "Gamma", "None"};

const char* const kEventLines[] = {
    "0|$LOG",
    "11|$POPUP,*|$SHUTDOWN",
    "2|$R_SHUT,10.0.0.1,6005|$EMAIL,a@b",
    "7",
    "x|$UNKNOWN,1,2",
    "3|$L_SHELL,/bin/true|$MSLOG|$R_MSG,,",
    "12|$R_SHELL_3,h,",
    "4||$LOG|",
};
constexpr size_t kEventLineCount = sizeof kEventLines / sizeof kEventLines[0];

void WriteFileText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  Require(static_cast<bool>(out));
}

// The installation tree of the whole run, in memory where the system offers
// it, with a working directory for the events files the screens save. Never
// destroyed: the exit handler still names it.
const std::string& Root() {
  static const std::string* root = [] {
    struct stat st;
    const bool shm = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode);
    std::string pattern = std::string(shm ? "/dev/shm/" : "/tmp/") + "screen_fuzz_XXXXXX";
    Require(mkdtemp(&pattern[0]) != nullptr);
    auto* dir = new std::string(pattern + "/");
    for (const char* sub : {"bin", "languages", "work"}) {
      Require(mkdir((*dir + sub).c_str(), 0700) == 0);
    }
    WriteFileText(
        *dir + "languages/english.lng",
        "[WKCFG]\nNoUpsSelected=None\nInfoEventsReset=Reset ?\n[ERRORS]\n100007=Bad model\n"
        "100008=Value missing\n[EVENTS]\n0=Power fail\n2=Battery low\n11=Down in $ "
        "min^now\n[ACTIONS]\nCount=11\n0=Popup\n1=Log\n2=Shutdown\n3=RShut\n4=RMsg\n"
        "5=RSh1\n6=RSh2\n7=RSh3\n8=Local\n9=Mail\n10=MsLog\n");
    WriteFileText(*dir + "bin/defevent.evn",
                  "[COMMON]\nEvCounter=2\nEv0=0|$LOG\nEv1=11|$POPUP,*\n[FAM_B]\nEvCounter=1\n"
                  "Ev0=2|$SHUTDOWN\n");
    std::string database;
    for (const char* line : kModels) database += Scramble(line) + "\n";
    WriteFileText(*dir + "bin/upsdb.ups", database);
    SetLanguageFilePath(*dir + "languages/english.lng");
    atexit([] { (void)!system(("rm -rf '" + Root() + "'").c_str()); });
    return dir;
  }();
  return *root;
}

// The state as the program has it after the start, from the first bytes.
void SetUp(const uint8_t* data, size_t size, size_t* used) {
  TConsoleState& state = ConsoleState();
  state = TConsoleState();
  state.setup.InstallPath = Root();
  state.NoUpsSelectedText = "None";
  static const TUpsDatabase database = [&state] {
    TUpsDatabase loaded;
    Require(LoadUpsDatabase(&loaded, UpsDatabasePath(state)) == 0);
    return loaded;
  }();
  state.database = database;
  const uint8_t model = size > 1 ? data[1] : 0;
  const uint8_t flags = size > 2 ? data[2] : 0;
  const uint8_t events = size > 3 ? data[3] : 0;
  *used = size < 4 ? size : 4;
  TSetupData& setup = state.setup;
  setup.Ups.UpsModelName = kModelNames[model % 4];
  if (flags & 1) setup.Server.UpsDevice = "USB";
  if (flags & 2) setup.Email.EmailUseAuth = true;
  if (flags & 4) setup.Email.EmailLogin = "me";
  if (flags & 8) setup.Email.EmailPassword = "pw";
  state.ServerActive = (flags & 16) != 0;
  setup.Ups.UpsOffEnabled = (flags & 32) != 0;
  setup.Ups.UpsSmartAutonomy = (flags & 64) != 0;
  setup.Server.SrvDownEnabled = (flags & 128) == 0;
  for (int i = 0; i < (events & 7); ++i) {
    setup.Ups.Events.AddEventLine(kEventLines[(events >> 3 ^ i * 5) % kEventLineCount]);
  }
  // An event with more jobs than any list shows at once.
  static const std::string long_event = [] {
    std::string line = "2";
    for (int i = 0; i < 60; ++i)
      line += i % 3 ? "|$LOG" : "|$R_MSG,10.0.0." + std::to_string(i) + ",6005";
    return line;
  }();
  if (events & 0x80) setup.Ups.Events.AddEventLine(long_event);
  Require(SelectStoredModel(&state) == 0);
}

// True when the screen's exit check refuses ESC in the state it was left.
bool ExitRefused(size_t screen) {
  const TSetupData& setup = ConsoleState().setup;
  if (kScreens[screen] == SystemConfigScreen) return setup.Server.UpsDevice.empty();
  if (kScreens[screen] == MailServerConfigScreen) {
    const TEmailSetup& email = setup.Email;
    return email.EmailUseAuth && (email.EmailLogin.empty() || email.EmailPassword.empty());
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The fuzzer's own relative paths must still hold between runs.
  const int previous = open(".", O_RDONLY | O_DIRECTORY);
  Require(previous >= 0 && chdir((Root() + "work").c_str()) == 0);
  const size_t screen = data[0] % kScreenCount;
  TFakeTerminal term(80, 25);
  UseTerminal(&term);
  SetResizeCallback(ComputeFrame);
  InitConsoleUi();
  size_t used = 0;
  SetUp(data, size, &used);
  for (size_t i = used; i < size; ++i) {
    if (data[i] >= 0xf8) {
      term.AddResize(kSizes[data[i] & 7].columns, kSizes[data[i] & 7].lines);
    } else {
      term.AddKeys({kKeys[data[i] % kKeyCount]});
    }
  }
  term.AddResize(80, 25);
  for (int i = 0; i < kLeaveRounds; ++i) term.AddKeys({'n', kKeyEsc, kKeyEsc});

  kScreens[screen]();

  // Returned only at the end of the script (kKeyQuit) means the leaving
  // tail was not enough; allowed only where the exit check refuses.
  if (term.keys_left() == 0) Require(ExitRefused(screen));
  UseTerminal(nullptr);
  ConsoleState() = TConsoleState();
  Require(fchdir(previous) == 0 && close(previous) == 0);
  return 0;
}
