// The operations that span the record, the database and the default events
// file, with the flags that decide what a save writes.
#include "wkcfg/model/console_state.h"

namespace {

const char kCommonSection[] = "COMMON";

}  // namespace

TConsoleState& ConsoleState() {
  static TConsoleState state;
  return state;
}

std::string DefaultEventsPath(const TConsoleState& state) {
  return state.Setup.InstallPath + "bin/defevent.evn";
}

std::string UpsDatabasePath(const TConsoleState& state) {
  return state.Setup.InstallPath + "bin/upsdb.ups";
}

bool ModelSelected(const TConsoleState& state) {
  return state.Setup.Ups.UpsModelName != state.NoUpsSelectedText;
}

int SelectModelByName(TConsoleState* state, const std::string& name, bool is_new) {
  const int index = FindModel(state->Database, name);
  if (index < 0) {
    state->Setup.Ups.UpsModelName = state->NoUpsSelectedText;
    return 0;
  }
  const int result = SelectModel(&state->Database, &state->Setup, index, is_new);
  if (result != 0) return result;
  ApplyModelCapabilities(state->Database, &state->Setup, is_new);
  if (is_new) {
    ResetEventsToDefault(state);
    ResetAutonomyData(&state->Setup);
    state->AutonomyReset = true;
  }
  return 0;
}

int SelectStoredModel(TConsoleState* state) {
  const std::string stored = state->Setup.Ups.UpsModelName;
  return SelectModelByName(state, stored, false);
}

int ChangeModel(TConsoleState* state, const std::string& name) {
  // A picked name without a readable line is no selection at all.
  if (FindModel(state->Database, name) < 0) state->Setup.Ups.UpsRechargeTime = -1;
  return SelectModelByName(state, name, true);
}

void ResetEventsToDefault(TConsoleState* state) {
  TEvents& events = state->Setup.Ups.Events;
  const std::string path = DefaultEventsPath(*state);
  events.ClearEvents();
  events.LoadDefaultEvents(path, kCommonSection);
  events.LoadDefaultEvents(path, state->Database.EventSection);
}

int SaveConsoleSetup(const TConsoleState& state) {
  return SaveServerSetup(state.Setup, !state.ServerActive || state.AutonomyReset);
}
