// The console's life from the command line to the exit: the start-up checks
// and loads, the password, the main menu and the advanced submenu, and the
// save on the way out. The menus' entry lists and what each entry does are
// tables the toolkit's menu loop runs.
#ifndef VOLTMON_WKCFG_UI_CONSOLE_FLOW_H_
#define VOLTMON_WKCFG_UI_CONSOLE_FLOW_H_

#include <string>

#include "common/text.h"
#include "tui/menu.h"
#include "wkcfg/model/console_state.h"

// "Voltmon Manager - Wattkeep Configuration [Version 1.0.16.0]".
std::string MainMenuTitle();

// The main menu: System Configuration, a separator and Exit when no model is
// selected, nine entries otherwise.
const TMenu& MainMenuTable();

// The advanced submenu; the calibration entry only when the selected model
// has the test.
const TMenu& AdvancedMenuTable();

// The main menu's "Advanced Configuration": the submenu until it is left.
void AdvancedMenu();

// The main menu's "Save and Exit": true when the configuration is saved; a
// failure is shown.
bool SaveConsoleAndNotify();

// The outcome of the start-up checks and loads before the screen starts.
enum class TStartup {
  kReady,
  kInvalidSetup,  // install path, language file or model database missing, or
                  // bin/wksrv.cfg there but unreadable (its line printed)
  kBadModel,      // the configured model's line cannot be read (100007)
};

// Steps of the start after the root check: the install root from
// `program_dir`, the language file, NoUpsSelectedText, the configuration,
// the model database and the stored model's selection without reset, and
// whether a "wksrv" daemon runs (looked up in `proc_root`). Prints only the
// line of a configuration file that is there but cannot be read.
TStartup LoadConsole(const std::string& program_dir, TConsoleState* state,
                     const std::string& proc_root = "/proc");

// The whole program: "-cr", the root check, the start, the screens and the
// clean end. Always 0.
int ConsoleMain(int argc, char** argv);

#endif  // VOLTMON_WKCFG_UI_CONSOLE_FLOW_H_
