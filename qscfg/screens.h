// The configuration program's screens and the state they edit. Each screen
// is a row table run by the console's form screen loop, so that it looks
// and answers the keys as the master's console does; nothing is written
// here (the main menu's "Save and Exit" does that).
#ifndef VOLTMON_QSCFG_SCREENS_H_
#define VOLTMON_QSCFG_SCREENS_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "common/ini.h"
#include "qscfg/model.h"

struct TQsEditor {
  std::string Path;  // the settings file
  TIniDocument Doc;  // as read, for the keys the daemon does not know
  TQsConfig Config;
  TQsProbes Probes;
  size_t Current = 0;                   // the selected master
  std::map<std::string, bool> Unsound;  // masters' warnings, settled once per name
  // Names still being looked up, and when their answer is due at the latest.
  struct TPendingName {
    std::unique_ptr<TNameLookup> Lookup;
    int64_t DueMs = 0;
  };
  std::map<std::string, TPendingName> Pending;
};

// The process-wide state of the screens.
TQsEditor& QsEditor();

enum class TMasterMark { kNone, kWarned, kPending };

// The mark beside a master: warned for bad syntax or a name without an
// address, pending while its name is being looked up. Never waits: a name
// is looked up once, in the background, and given kQsLookupMs to answer.
TMasterMark MasterMark(const std::string& address);

void ListenPortScreen();
void MastersScreen();
void EventLogScreen();
void AliveCheckScreen();
void ScriptsScreen();

#endif  // VOLTMON_QSCFG_SCREENS_H_
