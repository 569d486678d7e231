// One key of a settings file as a complete row: its name, the field it
// fills, how the value is written, the range the screens accept, where it
// stands in the load and in the save order and how it is stored. Both
// settings files ("bin/wksrv.cfg" and "bin/qslx.cfg") are tables of these
// rows; a key's default is the value of its field in a record made with no
// arguments, so that it is written only once, in the record.
#ifndef VOLTMON_COMMON_SETTING_ROW_H_
#define VOLTMON_COMMON_SETTING_ROW_H_

#include <algorithm>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

enum class TKeyKind {
  kString,     // the text as it is
  kPassword,   // scrambled in the file, clear in memory
  kBoolean,    // "1" or "0"; any other number reads as true
  kInteger,    // decimal, kept to the low `width` bits of the field
  kDecimal,    // fixed point with up to four decimals, "." as decimal point
  kSeparator,  // at most one character
};

// How a row's value reaches the file when the record is saved.
enum class TKeyStore {
  kValue,     // the field's value
  kEmpty,     // always an empty value, whatever the field holds
  kAutonomy,  // the field's value, only when the autonomy values are saved
};

// A pointer to the field a key fills.
using TFieldRef = std::variant<std::string*, bool*, uint8_t*, uint16_t*, int32_t*, float*>;

template <typename TRecord>
struct TSettingRow {
  const char* name;
  TKeyKind kind;
  int width;  // bits of an integer field; 0 for other kinds
  // Range the screens accept, in the shown unit (the stored value div
  // scale); -1 for no bound on that side. Both -1: no fixed range (none, or
  // one that depends on another setting).
  int32_t minimum;
  int32_t maximum;
  int32_t scale;  // 60 for minutes, 1000 for kB, else 1
  int load_rank;  // place in the order of reading, from 0
  int save_rank;  // place in the order of writing, from 0
  TKeyStore store;
  TFieldRef (*field)(TRecord*);
};

// The row of `name` (exact spelling) in `rows`; nullptr when there is none.
template <typename TRecord>
const TSettingRow<TRecord>* FindSettingRow(const std::vector<TSettingRow<TRecord>>& rows,
                                           const std::string& name) {
  for (const TSettingRow<TRecord>& row : rows) {
    if (name == row.name) return &row;
  }
  return nullptr;
}

// `rows` in the order of `rank` (&TSettingRow<R>::load_rank or save_rank).
template <typename TRecord>
std::vector<const TSettingRow<TRecord>*> RowsInOrder(const std::vector<TSettingRow<TRecord>>& rows,
                                                     int TSettingRow<TRecord>::*rank) {
  std::vector<const TSettingRow<TRecord>*> ordered;
  for (const TSettingRow<TRecord>& row : rows) ordered.push_back(&row);
  std::sort(ordered.begin(), ordered.end(),
            [rank](const auto* a, const auto* b) { return a->*rank < b->*rank; });
  return ordered;
}

// The field's value in the file's encoding, in the form that reads back
// unchanged: a text loses its line feeds and the blanks at its ends.
std::string EncodeField(TKeyKind kind, const TFieldRef& field);

// Stores `text`, read in the file's encoding, into the field; false (the
// field unchanged) when it is not a valid value of the kind.
bool DecodeField(TKeyKind kind, const std::string& text, const TFieldRef& field);

// The value of an integer or switch field as a number (a switch as 0 or 1);
// 0 for other fields.
int32_t FieldNumber(const TFieldRef& field);

// Puts the field of `row` in `record` back to the record's default.
template <typename TRecord>
void ResetField(const TSettingRow<TRecord>& row, TRecord* record) {
  TRecord defaults;
  const TFieldRef from = row.field(&defaults);
  std::visit([&from](auto* to) { *to = *std::get<decltype(to)>(from); }, row.field(record));
}

// The default of `row` in the file's encoding.
template <typename TRecord>
std::string DefaultText(const TSettingRow<TRecord>& row) {
  TRecord defaults;
  return EncodeField(row.kind, row.field(&defaults));
}

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

#endif  // VOLTMON_COMMON_SETTING_ROW_H_
