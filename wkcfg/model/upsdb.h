// The UPS model database "bin/upsdb.ups": one scrambled line per model, 41
// fields separated by "|" once descrambled, and the selection of a model,
// which applies its facts to the configuration record.
#ifndef VOLTMON_WKCFG_MODEL_UPSDB_H_
#define VOLTMON_WKCFG_MODEL_UPSDB_H_

#include <cstdint>
#include <initializer_list>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

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

// The model lines in file order, kept as read and each descrambled when it
// is first asked for: at start only the configured model is looked up, and
// a database of many thousands of models must not delay the first screen.
// A file read by Load is read through at once, so that a file which cannot be
// read is told at start, but only its first lines are kept; the rest is read
// again when a line past them is first asked for (the model chooser).
class TModelLines {
 public:
  TModelLines() = default;
  // Lines given in clear text.
  TModelLines(std::initializer_list<std::string> lines);
  // Takes the scrambled file text, split as SplitLines splits it; with
  // `drop_cut_last` a last line without line feed is left out.
  void AssignScrambled(std::string text, bool drop_cut_last);
  // Reads the scrambled file at `path`. 0, or the errno of the failing open
  // or read; after a failing read the whole lines held before it are kept.
  int Load(const std::string& path);

  // The number of lines. It can only shrink, when the file has become
  // shorter before the rest of it is read.
  size_t size() const { return count_; }
  // The descrambled line `i`; empty past the end.
  const std::string& operator[](size_t i) const;
  // The clear text of line `i` before its first "|" (the whole line when it
  // has none, `*has_bar` then false); no more of it is descrambled.
  std::string Head(size_t i, bool* has_bar) const;

 private:
  void Split(bool drop_cut_last) const;
  // Whether line `i` is held, reading the rest of the file if need be.
  bool Hold(size_t i) const;

  mutable std::string path_;  // the file the lines not held are read from; empty when all are
  mutable std::string raw_;
  mutable std::vector<std::pair<size_t, size_t>> spans_;  // start and length in raw_
  mutable size_t count_ = 0;
  // The lines descrambled so far, by index: most are never asked for.
  mutable std::unordered_map<size_t, std::string> clear_;
};

struct TUpsDatabase : TUpsCapabilities {
  TModelLines Models;
};

// Fills Models from the scrambled file. 0, or the system error number.
int LoadUpsDatabase(TUpsDatabase* db, const std::string& path);

// Field 0 of every non-blank line, stripped, in order: the model chooser.
TTextList ModelNames(const TUpsDatabase& db);

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
