// Fuzzes the model selection on one arbitrary database line. It never
// crashes; it returns 0 with every field taken from the line, or 100007 with
// the record and the capabilities exactly as they were. The line's name is
// found again by the lookup whenever the line holds "|".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "wkcfg/model/setup_keys.h"
#include "wkcfg/model/upsdb.h"

namespace {

void Require(bool condition) {
  if (!condition) abort();
}

// Every stored form of the record, the events included.
std::string Snapshot(const TSetupData& setup) {
  std::string text;
  for (const TSetupKey& key : SetupKeys()) text += EncodeSetupValue(key, setup) + '\n';
  text += std::to_string(setup.Ups.Protocol.ProtocolId) + '\n';
  for (int i = 0; i < setup.Ups.Events.Count(); ++i) text += setup.Ups.Events.EventLine(i) + '\n';
  return text;
}

std::string Capabilities(const TUpsCapabilities& c) {
  std::string text = c.EventSection + '|';
  for (int value :
       {int{c.CalibrationTest}, int{c.SmartAutonomy}, int{c.Flag7},          int{c.Flag5},
        int{c.Flag8},           int{c.UpsOffMode},    int{c.UpsOffDelayMin}, int{c.UpsOffDelayMax},
        int{c.UpsOnMode},       int{c.UpsOnDelayMin}, int{c.UpsOnDelayMax},  int{c.UpsOnDelayStep},
        int{c.CanVinPhaseR},    int{c.CanVinPhaseS},  int{c.CanVinPhaseT},   int{c.CanVoutPhaseR},
        int{c.CanVoutPhaseS},   int{c.CanVoutPhaseT}, int{c.CanPoutPhaseR},  int{c.CanPoutPhaseS},
        int{c.CanPoutPhaseT},   int{c.CanVbatt},      int{c.CanBattChg},     int{c.CanAutTime}}) {
    text += std::to_string(value) + ',';
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte chooses a new selection or the one at start.
  const bool is_new = data[0] & 1;
  const std::string line(reinterpret_cast<const char*>(data) + 1, size - 1);

  TUpsDatabase db;
  db.Models = {line};
  db.EventSection = "BEFORE";
  db.UpsOnDelayStep = 77;
  TSetupData setup;
  setup.Ups.UpsModelName = "Before";
  setup.Ups.Events.AddEventLine("1|$LOG");
  setup.LogData.DataReadVinPhaseS = false;
  const std::string before = Snapshot(setup);
  const std::string caps_before = Capabilities(db);

  const int result = SelectModel(&db, &setup, 0, is_new);
  TTextList fields;
  SplitToList('|', line, &fields, true);
  if (result == kErrorBadModel) {
    Require(Snapshot(setup) == before);
    Require(Capabilities(db) == caps_before);
  } else {
    Require(result == 0);
    Require(fields.size() == kModelFieldCount);
    int32_t protocol = 0;
    Require(ParseInt32(TrimControls(fields[4]), &protocol));
    Require(setup.Ups.Protocol.ProtocolId == protocol);
    Require(db.EventSection == TrimControls(fields[26]));
    bool off_mode_known = false;
    int32_t off_mode = 0;
    off_mode_known = ParseInt32(TrimControls(fields[16]), &off_mode);
    Require(off_mode_known && db.UpsOffMode == static_cast<uint8_t>(off_mode));
    bool can = false;
    Require(ParseModelBoolean(TrimControls(fields[40]), &can) && db.CanAutTime == can);
    Require(!(setup.LogData.DataReadAutTime && !db.CanAutTime));
    if (is_new) {
      Require(setup.Ups.UpsModelName == TrimControls(fields[0]));
      Require(setup.LogData.DataReadVinPhaseS == db.CanVinPhaseS);
    } else {
      Require(setup.Ups.UpsModelName == "Before");
      Require(!setup.LogData.DataReadVinPhaseS);
    }
    ApplyModelCapabilities(db, &setup, is_new);
    if (db.UpsOffMode == 0) Require(!setup.Ups.UpsOffEnabled);
    if (!db.SmartAutonomy) Require(!setup.Ups.UpsSmartAutonomy);
  }
  if (line.find('|') != std::string::npos) {
    Require(ModelNames(db).size() == 1);
    Require(FindModel(db, ModelNames(db)[0]) == 0);
  }
  return 0;
}
