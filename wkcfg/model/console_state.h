// The console's state for one run: the configuration record, the model
// database, the two flags that steer saving, and the operations that join
// them (model selection with its default events, the events reset, the
// save).
#ifndef VOLTMON_WKCFG_MODEL_CONSOLE_STATE_H_
#define VOLTMON_WKCFG_MODEL_CONSOLE_STATE_H_

#include <string>

#include "wkcfg/model/setup.h"
#include "wkcfg/model/upsdb.h"

struct TConsoleState {
  TSetupData setup;
  TUpsDatabase database;
  // A wksrv daemon was running at start; never re-evaluated.
  bool ServerActive = false;
  // A model selection reset the events and the autonomy data since start.
  bool AutonomyReset = false;
  // LangText("NoUpsSelected", "WKCFG"): the model name meaning "none".
  std::string NoUpsSelectedText;
};

// The process-wide state of the console.
TConsoleState& ConsoleState();

// InstallPath + "bin/defevent.evn" and + "bin/upsdb.ups".
std::string DefaultEventsPath(const TConsoleState& state);
std::string UpsDatabasePath(const TConsoleState& state);

// True when a model is selected (the name is not NoUpsSelectedText).
bool ModelSelected(const TConsoleState& state);

// Selects the model `name`. Not in the database: UpsModelName becomes
// NoUpsSelectedText, 0. Otherwise SelectModel and ApplyModelCapabilities;
// with `is_new` also the default events of COMMON and the model's section,
// the autonomy data reset and AutonomyReset set. 0 or 100007 (nothing
// changed then).
int SelectModelByName(TConsoleState* state, const std::string& name, bool is_new);

// The start-up selection of the stored model, keeping the stored events,
// delays and autonomy data.
int SelectStoredModel(TConsoleState* state);

// The model picked on the system screen: a new selection of `name`. A model
// that cannot be read changes nothing, so the record never names a model
// the next start would refuse.
int ChangeModel(TConsoleState* state, const std::string& name);

// The events reset of the events screen: the defaults of COMMON and of the
// selected model's section replace every event.
void ResetEventsToDefault(TConsoleState* state);

// Why the events may not be saved to the file `path` names, or the empty
// text when they may: a symbolic link (never followed), a directory or
// anything else that is not a regular file, or one of the installation's
// own settings files (bin/wksrv.cfg, bin/voltmon.cfg, bin/qslx.cfg, the
// language file, bin/upsdb.ups, bin/defevent.evn), found by real path
// whatever the spelling. `*exists`: a regular file is there to be replaced.
std::string EventsFileRefusal(const TConsoleState& state, const std::string& path, bool* exists);

// SaveServerSetup with the autonomy keys written when the server is not
// running or a model change reset them. 0 or the system error number.
// `in_place`: see ReplaceFile.
int SaveConsoleSetup(const TConsoleState& state, bool* in_place = nullptr);

#endif  // VOLTMON_WKCFG_MODEL_CONSOLE_STATE_H_
