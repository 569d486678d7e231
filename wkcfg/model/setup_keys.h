// The keys of "bin/wksrv.cfg": one row per key with its kind, width, default,
// edit range and field. The loader, the saver and the screens all read this
// table; only the two orders of reading and writing are kept apart.
#ifndef VOLTMON_WKCFG_MODEL_SETUP_KEYS_H_
#define VOLTMON_WKCFG_MODEL_SETUP_KEYS_H_

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "wkcfg/model/setup.h"

enum class TKeyKind {
  kString,     // the text as it is
  kPassword,   // scrambled in the file, clear in memory
  kBoolean,    // "1" or "0"; any other number reads as true
  kInteger,    // decimal, kept to the low Width bits of the field
  kDecimal,    // fixed point with up to four decimals, "." as decimal point
  kSeparator,  // at most one character
};

// A pointer to the field a key fills.
using TFieldRef = std::variant<std::string*, bool*, uint8_t*, uint16_t*, int32_t*, float*>;

struct TSetupKey {
  const char* Name;
  TKeyKind Kind;
  int Width;            // bits of an integer field; 0 for other kinds
  const char* Default;  // in the file's encoding
  // Range the screens accept, in the shown unit (the stored value div
  // Scale); -1 for no bound on that side. Both -1: no fixed range (none, or
  // one that depends on the selected model).
  int32_t Minimum;
  int32_t Maximum;
  int32_t Scale;  // 60 for minutes, 1000 for kB, else 1
  TFieldRef (*Field)(TSetupData*);
};

const std::vector<TSetupKey>& SetupKeys();

// The row of `name` (exact spelling); nullptr when there is none.
const TSetupKey* FindSetupKey(const std::string& name);

// The field's value in the file's encoding, in the form that reads back
// unchanged: a text loses its line feeds and the blanks at its ends.
std::string EncodeSetupValue(const TSetupKey& key, const TSetupData& setup);

// Stores `text`, read in the file's encoding, into the field; false (the
// field unchanged) when it is not a valid value of the kind.
bool DecodeSetupValue(const TSetupKey& key, const std::string& text, TSetupData* setup);

// A float in the file's decimal encoding: up to four decimals, no trailing
// zeros, "." as decimal point whatever the locale ("100", "-1", "87.5").
std::string FormatDecimal(float value);
// Reads an optional sign, digits and an optional "." with digits, kept to
// four decimals; false when the text is no such number or has more than
// nine digits before the point.
bool ParseDecimal(const std::string& text, float* value);

// `text` as an INI value reads back: without line feeds, carriage returns
// and blanks at its end and blanks at its start.
std::string StorableValue(const std::string& text);

#endif  // VOLTMON_WKCFG_MODEL_SETUP_KEYS_H_
