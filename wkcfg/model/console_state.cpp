// The operations that span the record, the database and the default events
// file, with the flags that decide what a save writes.
#include "wkcfg/model/console_state.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "common/files.h"

namespace {

const char kCommonSection[] = "COMMON";

// The real path of the directory that holds `path`, joined with its last
// name; empty when that directory cannot be resolved.
std::string RealLocation(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "."
                          : slash == 0               ? "/"
                                                     : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  char resolved[PATH_MAX];
  if (realpath(dir.c_str(), resolved) == nullptr) return "";
  const std::string real_dir = resolved;
  return (real_dir == "/" ? "" : real_dir) + "/" + name;
}

}  // namespace

TConsoleState& ConsoleState() {
  static TConsoleState state;
  return state;
}

std::string DefaultEventsPath(const TConsoleState& state) {
  return state.setup.InstallPath + "bin/defevent.evn";
}

std::string UpsDatabasePath(const TConsoleState& state) {
  return state.setup.InstallPath + "bin/upsdb.ups";
}

bool ModelSelected(const TConsoleState& state) {
  return state.setup.Ups.UpsModelName != state.NoUpsSelectedText;
}

int SelectModelByName(TConsoleState* state, const std::string& name, bool is_new) {
  const int index = FindModel(state->database, name);
  if (index < 0) {
    state->setup.Ups.UpsModelName = state->NoUpsSelectedText;
    return 0;
  }
  const int result = SelectModel(&state->database, &state->setup, index, is_new);
  if (result != 0) return result;
  ApplyModelCapabilities(state->database, &state->setup, is_new);
  if (is_new) {
    ResetEventsToDefault(state);
    ResetAutonomyData(&state->setup);
    state->AutonomyReset = true;
  }
  return 0;
}

int SelectStoredModel(TConsoleState* state) {
  const std::string stored = state->setup.Ups.UpsModelName;
  return SelectModelByName(state, stored, false);
}

int ChangeModel(TConsoleState* state, const std::string& name) {
  // A picked name without a readable line is no selection at all.
  if (FindModel(state->database, name) < 0) state->setup.Ups.UpsRechargeTime = -1;
  return SelectModelByName(state, name, true);
}

void ResetEventsToDefault(TConsoleState* state) {
  TEvents& events = state->setup.Ups.Events;
  const std::string path = DefaultEventsPath(*state);
  events.ClearEvents();
  events.LoadDefaultEvents(path, kCommonSection);
  events.LoadDefaultEvents(path, state->database.EventSection);
}

int SaveConsoleSetup(const TConsoleState& state, bool* in_place) {
  return SaveServerSetup(state.setup, !state.ServerActive || state.AutonomyReset, in_place);
}

std::string EventsFileRefusal(const TConsoleState& state, const std::string& path, bool* exists) {
  *exists = false;
  struct stat st;
  if (lstat(path.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) return FileErrorText(kErrorSymbolicLink);
    if (S_ISDIR(st.st_mode)) return FileErrorText(EISDIR);
    if (!S_ISREG(st.st_mode)) return FileErrorText(kErrorNotRegularFile);
    *exists = true;
  }
  const std::string location = RealLocation(path);
  const std::string& root = state.setup.InstallPath;
  const std::string own[] = {root + "bin/wksrv.cfg", root + "bin/voltmon.cfg",
                             root + "bin/qslx.cfg",  state.setup.LanguageFile,
                             root + "bin/upsdb.ups", root + "bin/defevent.evn"};
  for (const std::string& file : own) {
    if (location.empty()) break;
    // Where the name is, and, for a link, where the file itself is.
    char resolved[PATH_MAX];
    if (location == RealLocation(file) ||
        (realpath(file.c_str(), resolved) != nullptr && location == resolved)) {
      return "A settings file of the installation, never saved over";
    }
  }
  return "";
}
