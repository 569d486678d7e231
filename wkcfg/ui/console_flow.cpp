// The console's program flow. The start-up checks print their plain lines
// before curses starts; from then on every path out (the menus' Exit, a
// saved configuration, a cancelled password, a termination signal read as
// kKeyQuit) ends curses and clears the terminal, with exit status 0. A save
// that fails is shown and the user is back in the main menu with every edit
// still in memory.
#include "wkcfg/ui/console_flow.h"

#include <cstdio>
#include <cstring>

#include "common/console.h"
#include "common/lang.h"
#include "common/locale.h"
#include "common/log.h"
#include "common/process.h"
#include "common/settings.h"
#include "tui/console_ui.h"
#include "tui/crt.h"
#include "tui/ctrls.h"
#include "tui/curses_screen.h"
#include "tui/menu.h"
#include "wkcfg/ui/screens.h"

namespace {

const char kNoticeText[] = "Stop and restart Wattkeep to see changes !";

const char kUsage[] =
    "Usage: wkcfg [-h | -v | -cr]\n"
    "Edits the master server's configuration (bin/wksrv.cfg of the installation)\n"
    "in full-screen menus; run as root from the installation's bin/ directory in a\n"
    "terminal of at least 80x24. The file is written only on \"Save and Exit\".\n"
    "\n"
    "  -h, --help  this text\n"
    "  -v          the version\n"
    "  -cr         the credits\n"
    "\n"
    "Exit status: 0.\n";

bool ModelIsSelected() {
  return ModelSelected(ConsoleState());
}

bool ModelHasCalibrationTest() {
  return ConsoleState().database.CalibrationTest;
}

// The console's body between the screen's start and its end.
void PasswordAndMainMenu() {
  const std::string& password = ConsoleState().setup.Server.SrvMainPassword;
  if (password.empty() || PasswordPrompt(ConsoleUi().FrameWidth, password)) {
    ConsoleState().AutonomyReset = false;
    if (!QuitRequested()) RunMenu(MainMenuTable());
  }
}

}  // namespace

std::string MainMenuTitle() {
  return std::string("Voltmon Manager") + " - " + "Wattkeep Configuration" + " [" + "Version " +
         kWattkeepVersion + "]";
}

const TMenu& MainMenuTable() {
  static const TMenu menu = {
      MainMenuTitle(),
      {
          {"System Configuration", SystemConfigScreen, nullptr, nullptr},
          {"Shutdown Configuration", ShutdownConfigScreen, nullptr, ModelIsSelected},
          {"Log & Data Configuration", LogDataConfigScreen, nullptr, ModelIsSelected},
          {"Mail Server Configuration", MailServerConfigScreen, nullptr, ModelIsSelected},
          {"Events Configuration", EventsScreen, nullptr, ModelIsSelected},
          {"Advanced Configuration", AdvancedMenu, nullptr, ModelIsSelected},
          {"", nullptr, nullptr, nullptr},
          {"Save and Exit", nullptr, SaveConsoleAndNotify, ModelIsSelected},
          {"Exit", nullptr, AlwaysLeaves, nullptr},
      }};
  return menu;
}

const TMenu& AdvancedMenuTable() {
  static const TMenu menu = {
      "ADVANCED CONFIGURATION",
      {
          {"Advanced System Configuration", AdvancedSystemScreen, nullptr, nullptr},
          {"Advanced Shutdown Configuration", AdvancedShutdownScreen, nullptr, nullptr},
          {"Advanced QS System Configuration", AdvancedQsSystemScreen, nullptr, nullptr},
          {"Autonomy Calibration Test Configuration", CalibrationTestScreen, nullptr,
           ModelHasCalibrationTest},
          {"", nullptr, nullptr, nullptr},
          {"Return to Main Menu", nullptr, AlwaysLeaves, nullptr},
      }};
  return menu;
}

void AdvancedMenu() {
  RunMenu(AdvancedMenuTable());
}

bool SaveConsoleAndNotify() {
  TConsoleState& state = ConsoleState();
  return SaveAndNotify(
      ServerSetupPath(state.setup),
      [&state](bool* in_place) { return SaveConsoleSetup(state, in_place); },
      [&state] { return state.ServerActive; }, kNoticeText);
}

TStartup LoadConsole(const std::string& program_dir, TConsoleState* state,
                     const std::string& proc_root) {
  const std::string root = GetInstallPath(program_dir);
  if (root.empty()) return TStartup::kInvalidSetup;
  const std::string language = GetLanguageFile(root);
  if (language.empty()) return TStartup::kInvalidSetup;
  state->setup.InstallPath = root;
  state->setup.LanguageFile = root + "languages/" + language;
  SetLanguageFilePath(state->setup.LanguageFile);
  state->NoUpsSelectedText = LangText("NoUpsSelected", "WKCFG");
  if (const int error = LoadServerSetup(&state->setup); error != 0) {
    PrintMessage("wkcfg", ServerSetupPath(state->setup) + ": " + SystemErrorText(error));
    return TStartup::kInvalidSetup;
  }
  if (LoadUpsDatabase(&state->database, UpsDatabasePath(*state)) != 0)
    return TStartup::kInvalidSetup;
  if (SelectStoredModel(state) != 0) return TStartup::kBadModel;
  state->ServerActive = FindDaemonPid("wksrv", 1, -1, proc_root) != -1;
  return TStartup::kReady;
}

int ConsoleMain(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "-cr") == 0) {
    PrintCredits();
    return 0;
  }
  if (argc > 1 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "-v") == 0) {
    PrintVersionBlock(std::string("Wattkeep Configuration - Version ") + kWattkeepVersion);
    return 0;
  }
  if (!RequireRootUser()) return 0;
  SetTextFormats();
  const std::string program_dir = ProgramDirectory(argc > 0 ? argv[0] : "");
  // Held until the program ends, so that a second console cannot load the
  // file this one is about to save.
  TSessionLock lock;
  const std::string root = GetInstallPath(program_dir);
  if (!root.empty() && !LockForSession("wkcfg", root + "bin/wksrv.cfg", &lock)) return 0;
  switch (LoadConsole(program_dir, &ConsoleState())) {
    case TStartup::kInvalidSetup:
      PrintSetupFailure();
      return 0;
    case TStartup::kBadModel:
      PrintAlert(LangText(std::to_string(kErrorBadModel), "ERRORS"));
      return 0;
    case TStartup::kReady:
      break;
  }
  RunConsole(PasswordAndMainMenu);
  return 0;
}
