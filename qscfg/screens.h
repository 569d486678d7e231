// The configuration program's screens and the state they edit. Each screen
// is a row table run by the console's form screen loop, so that it looks
// and answers the keys as the master's console does; nothing is written
// here (the main menu's "Save and Exit" does that).
#ifndef VOLTMON_QSCFG_SCREENS_H_
#define VOLTMON_QSCFG_SCREENS_H_

#include <map>
#include <string>

#include "common/ini.h"
#include "qscfg/model.h"

struct TQsEditor {
  std::string Path;  // the settings file
  IniDocument Doc;   // as read, for the keys the daemon does not know
  TQsConfig Config;
  TQsProbes Probes;
  size_t Current = 0;                   // the selected master
  std::map<std::string, bool> Unsound;  // masters' warnings, asked once per name
};

// The process-wide state of the screens.
TQsEditor& QsEditor();

// True when the master should carry a warning mark (bad syntax, or a name
// that does not resolve); the name service is asked once per name.
bool MasterWarned(const std::string& address);

void ListenPortScreen();
void MastersScreen();
void EventLogScreen();
void AliveCheckScreen();
void ScriptsScreen();

#endif  // VOLTMON_QSCFG_SCREENS_H_
