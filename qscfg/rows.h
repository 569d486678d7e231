// The decisions of the configuration program's screens, apart from the
// drawing: what ENTER on a master or a script does, the masters list's
// operations, and which language text a warning takes.
#ifndef VOLTMON_QSCFG_ROWS_H_
#define VOLTMON_QSCFG_ROWS_H_

#include <string>

#include "common/text.h"
#include "qscfg/model.h"

enum class TEntryVerdict {
  kStore,         // store it
  kStoreWarning,  // store it and show the warning
  kRefuse,        // show the error and keep the old value
};

struct TEntryOutcome {
  TEntryVerdict verdict;
  std::string text_key;  // section "QSCFG" (or "ERRORS" for "100008"), empty for kStore
};

// A master address typed on ENTER: refused when empty or of bad syntax, a
// warning when a host name does not resolve.
TEntryOutcome MasterEntry(const std::string& address, const TQsProbes& probes);

// A script path typed on ENTER for the `index`-th script key: an empty
// shutdown or message script is refused, an empty custom one stored, any
// other path stored with a warning when the daemon could not start it.
TEntryOutcome ScriptEntry(size_t index, const std::string& path, const TQsProbes& probes);

// The language key of the warning for a script state; empty for none.
std::string ScriptWarningKey(TScriptState state);

// The masters as the list shows them: "1. name", "2. name", ...
TTextList MasterChoices(const TTextList& masters);
// The 0-based index of a MasterChoices entry; -1 when it names none.
int MasterChoiceIndex(const std::string& choice, size_t count);

// The list operations; each returns the index of the entry selected after it.
size_t AddMaster(TTextList* masters, const std::string& address);
size_t DeleteMaster(TTextList* masters, size_t index);
// Swaps the entry with its neighbour `step` (-1 up, 1 down) when there is one.
size_t MoveMaster(TTextList* masters, size_t index, int step);

// The first entry shown of a list window of `rows` lines so that `selected`
// is in view, centring it where the list allows.
size_t ListWindowStart(size_t count, size_t selected, size_t rows);

#endif  // VOLTMON_QSCFG_ROWS_H_
