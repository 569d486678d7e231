// The UPS model database "bin/upsdb.ups": one scrambled line per model, 41
// fields separated by "|" once descrambled, and the selection of a model,
// which applies its facts to the configuration record.
#ifndef VOLTMON_WKCFG_MODEL_UPSDB_H_
#define VOLTMON_WKCFG_MODEL_UPSDB_H_

#include <cstdint>
#include <string>

#include "common/text.h"
#include "wkcfg/model/setup.h"

// 100007: the selected model's line cannot be read.
constexpr int kErrorBadModel = 100007;
constexpr int kModelFieldCount = 41;

// The facts of the selected model; all false, 0 or empty before a selection.
struct TUpsCapabilities {
  bool CalibrationTest = false;
  bool SmartAutonomy = false;
  bool Flag7 = false;
  bool Flag5 = false;
  bool Flag8 = false;
  uint8_t UpsOffMode = 0;  // 0 not supported, 1 user's choice, 2 always
  uint16_t UpsOffDelayMin = 0;
  uint16_t UpsOffDelayMax = 0;
  uint8_t UpsOnMode = 0;  // as UpsOffMode; 3 user's choice tied to the off delay
  uint16_t UpsOnDelayMin = 0;
  uint16_t UpsOnDelayMax = 0;
  uint16_t UpsOnDelayStep = 0;  // 1 free entry, larger a list of steps
  std::string EventSection;
  bool CanVinPhaseR = false;
  bool CanVinPhaseS = false;
  bool CanVinPhaseT = false;
  bool CanVoutPhaseR = false;
  bool CanVoutPhaseS = false;
  bool CanVoutPhaseT = false;
  bool CanPoutPhaseR = false;
  bool CanPoutPhaseS = false;
  bool CanPoutPhaseT = false;
  bool CanVbatt = false;
  bool CanBattChg = false;
  bool CanAutTime = false;
};

struct TUpsDatabase : TUpsCapabilities {
  TextList Models;  // descrambled lines, in file order
};

// Fills Models from the scrambled file. 0, or the system error number.
int LoadUpsDatabase(TUpsDatabase* db, const std::string& path);

// Field 0 of every non-blank line, stripped, in order: the model chooser.
TextList ModelNames(const TUpsDatabase& db);

// Index of the first line holding "|" whose field 0, stripped, equals `name`
// exactly; -1 when there is none.
int FindModel(const TUpsDatabase& db, const std::string& name);

// Applies line `index`. The whole line is checked first: a line without
// exactly 41 fields, or with a used field that does not convert, returns
// 100007 and changes nothing. Otherwise the capabilities are replaced and
// ProtocolId set; with `is_new` also UpsModelName, UpsRechargeTime (field 14
// hours) and the ten shown data flags switched on. A data flag the model
// cannot deliver is switched off. 0 on success.
int SelectModel(TUpsDatabase* db, TSetupData* setup, int index, bool is_new);

// Brings the smart autonomy, switch-off and restart settings in line with
// the capabilities (a forced setting on, an unsupported one off).
void ApplyModelCapabilities(const TUpsDatabase& db, TSetupData* setup, bool is_new);

// A boolean field: a decimal number (non-zero is true) or "True"/"False" in
// any letter case.
bool ParseModelBoolean(const std::string& text, bool* value);

#endif  // VOLTMON_WKCFG_MODEL_UPSDB_H_
