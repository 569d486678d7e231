// The console's screens, each opened from a menu. A screen edits the
// console's state (ConsoleState()) in memory and returns when the user
// leaves it with ESC (after its exit check) or when the program must end
// (QuitRequested()); it redraws itself whole after a resize.
#ifndef VOLTMON_WKCFG_UI_SCREENS_H_
#define VOLTMON_WKCFG_UI_SCREENS_H_

// The main menu's form screens.
void SystemConfigScreen();
void ShutdownConfigScreen();
void LogDataConfigScreen();
void MailServerConfigScreen();

// The events and their jobs.
void EventsScreen();

// The advanced submenu's screens.
void AdvancedSystemScreen();
void AdvancedShutdownScreen();
void AdvancedQsSystemScreen();
void CalibrationTestScreen();

#endif  // VOLTMON_WKCFG_UI_SCREENS_H_
