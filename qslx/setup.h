// The daemon's settings record, loaded once at start from "bin/qslx.cfg".
#ifndef VOLTMON_QSLX_SETUP_H_
#define VOLTMON_QSLX_SETUP_H_

#include <cstdint>
#include <string>
#include <vector>

#include "common/ini.h"
#include "common/orders.h"
#include "common/setting_row.h"
#include "common/text.h"

struct TQsAliveCheck {
  bool Enabled = false;
  int32_t Frequency = 1800;  // seconds
  uint8_t Retries = 3;       // connection attempts per master and check
  uint16_t Port = 65000;
  int32_t TimeOut = 5;  // seconds, one connection attempt (and the reply)
  uint16_t Delay = 1;   // seconds between attempts
  std::string Script;   // InstallPath + "script/system/chkfail.sh"
};

struct TQsSetupData {
  std::string InstallPath;   // with trailing "/"
  std::string LanguageFile;  // full path
  uint16_t ListenPort = 0;
  TTextList Addresses;  // configured masters, empty values skipped
  TQsAliveCheck Alive;
  std::string ScriptShutdown;
  std::string ScriptMessage;
  std::string ScriptCustom_1;
  std::string ScriptCustom_2;
  std::string ScriptCustom_3;
  bool LogEnabled = true;
  int32_t LogMaxSize = 10000000;
};

// The one section of "bin/qslx.cfg".
extern const char kQsSection[];

// A key of "bin/qslx.cfg" (see common/setting_row.h); its default is the
// record's. The addresses, a count and a numbered list, are no single key.
using TQsKey = TSettingRow<TQsSetupData>;
// A key holding a number or a switch.
using TQsNumberKey = TQsKey;

// Every key but the addresses: the numbers, then the scripts.
const std::vector<TQsKey>& QsKeys();
// Every numeric key but the address count, in file order.
const std::vector<TQsNumberKey>& QsNumberKeys();
// The numeric key named `name` (case as written); null when there is none.
const TQsNumberKey* FindQsNumberKey(const std::string& name);
// The script keys of the orders, in command order (kOrders).
const std::vector<std::string>& QsScriptKeys();
// The script field that `order` runs.
const std::string& QsOrderScript(const TQsSetupData& setup, const TOrder& order);
std::string* QsOrderScript(TQsSetupData* setup, const TOrder& order);
// "AdrCount", and "Adr" + index for the index-th address.
extern const char kQsAddressCountKey[];
std::string QsAddressKey(int index);

// The default of `key` as a number (a switch as 0 or 1).
int32_t QsDefault(const TQsNumberKey& key);

// The value the daemon takes for `value` read as 32 bits into `key`'s field.
int32_t NarrowQsValue(const TQsNumberKey& key, int32_t value);

// Fills `key`'s field of `setup` from `file` as the daemon does: a missing
// or unparsable value gives the default.
void ReadQsKey(const TIniDocument& file, const TQsKey& key, TQsSetupData* setup);

// Fills `setup` from the suite settings found beside the program
// (`program_dir`, with trailing "/") and from InstallPath + "bin/qslx.cfg".
// False on the first failing rule, the record partly filled.
bool LoadQsSetup(const std::string& program_dir, TQsSetupData* setup);

#endif  // VOLTMON_QSLX_SETUP_H_
