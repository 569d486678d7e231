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
  std::string path;  // the settings file
  TIniDocument doc;  // as read, for the keys the daemon does not know
  TQsConfig config;
  TQsProbes probes;
  size_t current = 0;                   // the selected master
  std::map<std::string, bool> unsound;  // masters' warnings, settled once per name
  // Names still being looked up, and when their answer is due at the latest.
  struct TPendingName {
    std::unique_ptr<TNameLookup> lookup;
    int64_t due_ms = 0;
  };
  std::map<std::string, TPendingName> pending;
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
