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
#include "wkcfg/ui/screens.h"

namespace {

const char kNoticeText[] = "Stop and restart Wattkeep to see changes !";
// A mount point (a bind-mounted file) cannot be renamed over.
const char kInPlaceText[] = "Saved in place: the file is a mount point.";

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

struct TEntry {
  const char* text;
  TMenuAction action;
};

// Every entry of both menus; the lists are built from these texts.
const TEntry kEntries[] = {
    {"System Configuration", TMenuAction::kSystem},
    {"Shutdown Configuration", TMenuAction::kShutdown},
    {"Log & Data Configuration", TMenuAction::kLogData},
    {"Mail Server Configuration", TMenuAction::kMailServer},
    {"Events Configuration", TMenuAction::kEvents},
    {"Advanced Configuration", TMenuAction::kAdvanced},
    {"Save and Exit", TMenuAction::kSaveAndExit},
    {"Exit", TMenuAction::kExit},
    {"Advanced System Configuration", TMenuAction::kAdvancedSystem},
    {"Advanced Shutdown Configuration", TMenuAction::kAdvancedShutdown},
    {"Advanced QS System Configuration", TMenuAction::kAdvancedQsSystem},
    {"Autonomy Calibration Test Configuration", TMenuAction::kCalibrationTest},
    {"Return to Main Menu", TMenuAction::kReturnToMain},
};

// True when the configuration is saved; a failure is shown.
bool SaveAndNotify() {
  const TConsoleState& state = ConsoleState();
  bool in_place = false;
  const int error = SaveConsoleSetup(state, &in_place);
  if (error != 0) {
    ShowError(FileErrorMessage(SystemErrorText(error), ServerSetupPath(state.Setup)));
    return false;
  }
  if (in_place) PressAnyKeyBox(kInPlaceText, NoticeColors);
  if (state.ServerActive) PressAnyKeyBox(kNoticeText, NoticeColors);
  return true;
}

// Shows `entries` until a choice is made; kKeyQuit when the program must end.
int ShowMenu(const std::string& title, const TextList& entries) {
  for (;;) {
    const int choice = MenuBox(title, 2, ConsoleUi().FrameWidth, 4, MenuHighlightColors,
                               NormalColors, entries, ConsoleUi().FrameHeight);
    if (QuitRequested()) return kKeyQuit;
    if (choice != kKeyResize) return choice;
  }
}

void AdvancedMenu() {
  for (;;) {
    const TextList entries = AdvancedMenuEntries(ConsoleState().Database.CalibrationTest);
    const int choice = ShowMenu("ADVANCED CONFIGURATION", entries);
    if (choice == kKeyQuit) return;
    switch (MenuAction(entries, choice)) {
      case TMenuAction::kAdvancedSystem:
        AdvancedSystemScreen();
        break;
      case TMenuAction::kAdvancedShutdown:
        AdvancedShutdownScreen();
        break;
      case TMenuAction::kAdvancedQsSystem:
        AdvancedQsSystemScreen();
        break;
      case TMenuAction::kCalibrationTest:
        CalibrationTestScreen();
        break;
      case TMenuAction::kReturnToMain:
        return;
      default:
        break;
    }
    if (QuitRequested()) return;
  }
}

void MainMenu() {
  for (;;) {
    const TextList entries = MainMenuEntries(ModelSelected(ConsoleState()));
    const int choice = ShowMenu(MainMenuTitle(), entries);
    if (choice == kKeyQuit) return;
    switch (MenuAction(entries, choice)) {
      case TMenuAction::kSystem:
        SystemConfigScreen();
        break;
      case TMenuAction::kShutdown:
        ShutdownConfigScreen();
        break;
      case TMenuAction::kLogData:
        LogDataConfigScreen();
        break;
      case TMenuAction::kMailServer:
        MailServerConfigScreen();
        break;
      case TMenuAction::kEvents:
        EventsScreen();
        break;
      case TMenuAction::kAdvanced:
        AdvancedMenu();
        break;
      case TMenuAction::kSaveAndExit:
        if (SaveAndNotify()) return;
        break;
      case TMenuAction::kExit:
        return;
      default:
        break;
    }
    if (QuitRequested()) return;
  }
}

// From InitScreen to the clean end.
void RunScreens() {
  if (InitScreen()) {
    InitConsoleUi();
    SetResizeCallback(ComputeFrame);
    const std::string& password = ConsoleState().Setup.Server.SrvMainPassword;
    if (password.empty() || PasswordPrompt(ConsoleUi().FrameWidth, password)) {
      ConsoleState().AutonomyReset = false;
      if (!QuitRequested()) MainMenu();
    }
  } else if (!QuitRequested()) {
    // No terminal to give back or to clear; InitScreen has said why.
    DoneScreen();
    return;
  }
  DoneScreen();
  ClearAtEnd();
}

}  // namespace

std::string MainMenuTitle() {
  return std::string("Voltmon Manager") + " - " + "Wattkeep Configuration" + " [" + "Version " +
         kWattkeepVersion + "]";
}

TextList MainMenuEntries(bool model_selected) {
  if (!model_selected) return {"System Configuration", "", "Exit"};
  return {"System Configuration",
          "Shutdown Configuration",
          "Log & Data Configuration",
          "Mail Server Configuration",
          "Events Configuration",
          "Advanced Configuration",
          "",
          "Save and Exit",
          "Exit"};
}

TextList AdvancedMenuEntries(bool calibration_test) {
  TextList entries = {"Advanced System Configuration", "Advanced Shutdown Configuration",
                      "Advanced QS System Configuration"};
  if (calibration_test) entries.push_back("Autonomy Calibration Test Configuration");
  entries.push_back("");
  entries.push_back("Return to Main Menu");
  return entries;
}

TMenuAction MenuAction(const TextList& entries, int choice) {
  if (choice < 1 || choice > static_cast<int>(entries.size())) return TMenuAction::kNone;
  const std::string& text = entries[static_cast<size_t>(choice - 1)];
  for (const TEntry& entry : kEntries) {
    if (text == entry.text) return entry.action;
  }
  return TMenuAction::kNone;
}

TStartup LoadConsole(const std::string& program_dir, TConsoleState* state,
                     const std::string& proc_root) {
  const std::string root = GetInstallPath(program_dir);
  if (root.empty()) return TStartup::kInvalidSetup;
  const std::string language = GetLanguageFile(root);
  if (language.empty()) return TStartup::kInvalidSetup;
  state->Setup.InstallPath = root;
  state->Setup.LanguageFile = root + "languages/" + language;
  SetLanguageFilePath(state->Setup.LanguageFile);
  state->NoUpsSelectedText = LangText("NoUpsSelected", "WKCFG");
  if (const int error = LoadServerSetup(&state->Setup); error != 0) {
    PrintMessage("wkcfg", ServerSetupPath(state->Setup) + ": " + SystemErrorText(error));
    return TStartup::kInvalidSetup;
  }
  if (LoadUpsDatabase(&state->Database, UpsDatabasePath(*state)) != 0)
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
  RunScreens();
  return 0;
}
