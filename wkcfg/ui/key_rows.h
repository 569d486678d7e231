// The console's form rows bound to a wksrv.cfg key: the toolkit's number row
// with the key's range and scale, reading and writing the key's field in the
// console's record.
#ifndef VOLTMON_WKCFG_UI_KEY_ROWS_H_
#define VOLTMON_WKCFG_UI_KEY_ROWS_H_

#include <cstdint>
#include <string>

#include "tui/form_screen.h"

// A number row over the settings key `key`: the shown value is the field div
// the key's scale, ENTER stores value x scale, within the key's limits.
TFormRow NumberRow(const std::string& label, const std::string& key);

// The field of `key` in the console's record as an integer, and stored.
int64_t KeyFieldValue(const std::string& key);
void StoreKeyField(const std::string& key, int64_t value);

#endif  // VOLTMON_WKCFG_UI_KEY_ROWS_H_
