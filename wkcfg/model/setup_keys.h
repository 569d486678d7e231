// The keys of "bin/wksrv.cfg": one complete row per key (see
// common/setting_row.h). The loader, the saver, the screens and the reset of
// the autonomy values all read this table.
#ifndef VOLTMON_WKCFG_MODEL_SETUP_KEYS_H_
#define VOLTMON_WKCFG_MODEL_SETUP_KEYS_H_

#include <string>
#include <vector>

#include "common/setting_row.h"
#include "wkcfg/model/setup.h"

// A key of "bin/wksrv.cfg"; its default is the record's.
using TSetupKey = TSettingRow<TSetupData>;

const std::vector<TSetupKey>& SetupKeys();

// The row of `name` (exact spelling); nullptr when there is none.
const TSetupKey* FindSetupKey(const std::string& name);

// The field's value in the file's encoding, in the form that reads back
// unchanged: a text loses its line feeds and the blanks at its ends.
std::string EncodeSetupValue(const TSetupKey& key, const TSetupData& setup);

// Stores `text`, read in the file's encoding, into the field; false (the
// field unchanged) when it is not a valid value of the kind.
bool DecodeSetupValue(const TSetupKey& key, const std::string& text, TSetupData* setup);

#endif  // VOLTMON_WKCFG_MODEL_SETUP_KEYS_H_
