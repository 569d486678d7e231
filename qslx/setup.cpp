// Loading the daemon's settings record. The file is read once; each key, a
// missing or unparsable value giving its default (as does a file that cannot
// be read), and integers are cut to the width of their field by keeping the
// low bits, as the file's other writers expect.
#include "qslx/setup.h"

#include "common/ini.h"
#include "common/settings.h"

const char kQsSection[] = "QS System";
const char kQsAddressCountKey[] = "AdrCount";

namespace {

const char* const kSection = kQsSection;

// The record's script fields in command order (kOrders).
std::string TQsSetupData::*const kScriptFields[kOrderCount] = {
    &TQsSetupData::ScriptShutdown, &TQsSetupData::ScriptMessage, &TQsSetupData::ScriptCustom_1,
    &TQsSetupData::ScriptCustom_2, &TQsSetupData::ScriptCustom_3};

int32_t ReadNumber(const IniDocument& file, const std::string& name) {
  const TQsNumberKey* key = FindQsNumberKey(name);
  return NarrowQsValue(*key, file.GetInteger(kSection, key->Name, key->Default));
}

}  // namespace

const std::vector<TQsNumberKey>& QsNumberKeys() {
  static const std::vector<TQsNumberKey> keys = {
      {"ListenPort", 0, 16, false, 1, 65535},
      {"AliveEnabled", 0, 32, true, 0, 1},
      {"AliveFrequency", 1800, 32, false, 10, 2147483647},
      {"AliveRetries", 3, 8, false, 1, 255},
      {"AlivePort", 65000, 16, false, 1, 65535},
      // A limit beyond this many seconds no longer fits in milliseconds.
      {"AliveTimeOut", 5, 32, false, 1, 2147483},
      {"AliveDelay", 1, 16, false, 0, 65535},
      {"LogEnabled", 1, 32, true, 0, 1},
      {"LogMaxSize", 10000000, 32, false, 1000, 2147483000},
  };
  return keys;
}

const TQsNumberKey* FindQsNumberKey(const std::string& name) {
  for (const TQsNumberKey& key : QsNumberKeys()) {
    if (name == key.Name) return &key;
  }
  return nullptr;
}

const std::vector<std::string>& QsScriptKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> names;
    for (const TOrder& order : kOrders) names.push_back(order.ScriptKey);
    return names;
  }();
  return keys;
}

std::string* QsOrderScript(TQsSetupData* setup, const TOrder& order) {
  return &(setup->*kScriptFields[order.Command]);
}

const std::string& QsOrderScript(const TQsSetupData& setup, const TOrder& order) {
  return setup.*kScriptFields[order.Command];
}

std::string QsAddressKey(int index) {
  return "Adr" + std::to_string(index);
}

int32_t NarrowQsValue(const TQsNumberKey& key, int32_t value) {
  if (key.IsSwitch) return value != 0 ? 1 : 0;
  const uint32_t bits = static_cast<uint32_t>(value);
  if (key.Bits == 8) return static_cast<int32_t>(bits & 0xffu);
  if (key.Bits == 16) return static_cast<int32_t>(bits & 0xffffu);
  return value;
}

bool LoadQsSetup(const std::string& program_dir, TQsSetupData* setup) {
  setup->InstallPath = GetInstallPath(program_dir);
  if (setup->InstallPath.empty()) return false;
  IniDocument file;
  if (LoadIniFile(setup->InstallPath + "bin/qslx.cfg", &file) != 0) file = IniDocument();

  const std::string language = GetLanguageFile(setup->InstallPath);
  if (language.empty()) return false;
  setup->LanguageFile = setup->InstallPath + "languages/" + language;

  setup->Addresses.clear();
  const uint16_t count = static_cast<uint16_t>(file.GetInteger(kSection, kQsAddressCountKey, 0));
  if (count == 0) return false;
  for (int i = 0; i < count; ++i) {
    std::string address = file.GetString(kSection, QsAddressKey(i), "");
    if (!address.empty()) setup->Addresses.push_back(address);
  }

  setup->ListenPort = static_cast<uint16_t>(ReadNumber(file, "ListenPort"));
  if (setup->ListenPort == 0) return false;

  TQsAliveCheck& alive = setup->Alive;
  alive.Enabled = ReadNumber(file, "AliveEnabled") != 0;
  alive.Frequency = ReadNumber(file, "AliveFrequency");
  alive.Retries = static_cast<uint8_t>(ReadNumber(file, "AliveRetries"));
  alive.Port = static_cast<uint16_t>(ReadNumber(file, "AlivePort"));
  alive.TimeOut = ReadNumber(file, "AliveTimeOut");
  alive.Delay = static_cast<uint16_t>(ReadNumber(file, "AliveDelay"));
  alive.Script = setup->InstallPath + "script/system/chkfail.sh";

  for (const TOrder& order : kOrders)
    *QsOrderScript(setup, order) = file.GetString(kSection, order.ScriptKey, "");
  for (const TOrder& order : kOrders) {
    if (order.ScriptRequired && QsOrderScript(*setup, order).empty()) return false;
  }

  setup->LogEnabled = ReadNumber(file, "LogEnabled") != 0;
  setup->LogMaxSize = ReadNumber(file, "LogMaxSize");
  return true;
}
