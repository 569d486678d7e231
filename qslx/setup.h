// The daemon's settings record, loaded once at start from "bin/qslx.cfg".
#ifndef VOLTMON_QSLX_SETUP_H_
#define VOLTMON_QSLX_SETUP_H_

#include <cstdint>
#include <string>
#include <vector>

#include "common/orders.h"
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
  TextList Addresses;  // configured masters, empty values skipped
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

// A numeric key of "bin/qslx.cfg": its default when missing or not a number,
// the width its field keeps (the low `Bits` bits of the 32-bit value read)
// and the range an editor offers for it.
struct TQsNumberKey {
  const char* Name;
  int32_t Default;
  int Bits;       // 8, 16 or 32
  bool IsSwitch;  // 0 off, any other number on
  int32_t Minimum;
  int32_t Maximum;
};

// Every numeric key but the address count, in file order.
const std::vector<TQsNumberKey>& QsNumberKeys();
// The key named `name` (case as written above); null when there is none.
const TQsNumberKey* FindQsNumberKey(const std::string& name);
// The script keys of the orders, in command order (kOrders).
const std::vector<std::string>& QsScriptKeys();
// The script field that `order` runs.
const std::string& QsOrderScript(const TQsSetupData& setup, const TOrder& order);
std::string* QsOrderScript(TQsSetupData* setup, const TOrder& order);
// "AdrCount", and "Adr" + index for the index-th address.
extern const char kQsAddressCountKey[];
std::string QsAddressKey(int index);

// The value the daemon takes for `value` read as 32 bits into `key`'s field.
int32_t NarrowQsValue(const TQsNumberKey& key, int32_t value);

// Fills `setup` from the suite settings found beside the program
// (`program_dir`, with trailing "/") and from InstallPath + "bin/qslx.cfg".
// False on the first failing rule, the record partly filled.
bool LoadQsSetup(const std::string& program_dir, TQsSetupData* setup);

#endif  // VOLTMON_QSLX_SETUP_H_
