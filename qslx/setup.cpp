// Loading the daemon's settings record. The file is read once; each key, a
// missing or unparsable value giving its default (as does a file that cannot
// be read), and integers are cut to the width of their field by keeping the
// low bits, as the file's other writers expect. The numeric keys are rows of
// one table, read here and by the slave module's configuration program.
#include "qslx/setup.h"

#include "common/settings.h"

const char kQsSection[] = "QS System";
const char kQsAddressCountKey[] = "AdrCount";

namespace {

const char* const kSection = kQsSection;

#define VM_FIELD(member) [](TQsSetupData* s) -> TFieldRef { return &s->member; }

constexpr int32_t kInt32Max = 2147483647;

// In file order, which is the order of reading and of writing; the scripts
// in command order.
const std::vector<TQsKey> kKeys = {
    {"ListenPort", TKeyKind::kInteger, 16, 1, 65535, 1, 0, 0, TKeyStore::kValue,
     VM_FIELD(ListenPort)},
    {"AliveEnabled", TKeyKind::kBoolean, 0, -1, -1, 1, 1, 1, TKeyStore::kValue,
     VM_FIELD(Alive.Enabled)},
    {"AliveFrequency", TKeyKind::kInteger, 32, 10, kInt32Max, 1, 2, 2, TKeyStore::kValue,
     VM_FIELD(Alive.Frequency)},
    {"AliveRetries", TKeyKind::kInteger, 8, 1, 255, 1, 3, 3, TKeyStore::kValue,
     VM_FIELD(Alive.Retries)},
    {"AlivePort", TKeyKind::kInteger, 16, 1, 65535, 1, 4, 4, TKeyStore::kValue,
     VM_FIELD(Alive.Port)},
    // A limit beyond this many seconds no longer fits in milliseconds.
    {"AliveTimeOut", TKeyKind::kInteger, 32, 1, 2147483, 1, 5, 5, TKeyStore::kValue,
     VM_FIELD(Alive.TimeOut)},
    {"AliveDelay", TKeyKind::kInteger, 16, 0, 65535, 1, 6, 6, TKeyStore::kValue,
     VM_FIELD(Alive.Delay)},
    {"LogEnabled", TKeyKind::kBoolean, 0, -1, -1, 1, 7, 7, TKeyStore::kValue, VM_FIELD(LogEnabled)},
    {"LogMaxSize", TKeyKind::kInteger, 32, 1, 2147483, 1000, 8, 8, TKeyStore::kValue,
     VM_FIELD(LogMaxSize)},
    {"ScriptShutdown", TKeyKind::kString, 0, -1, -1, 1, 9, 9, TKeyStore::kValue,
     VM_FIELD(ScriptShutdown)},
    {"ScriptMessage", TKeyKind::kString, 0, -1, -1, 1, 10, 10, TKeyStore::kValue,
     VM_FIELD(ScriptMessage)},
    {"ScriptCustom_1", TKeyKind::kString, 0, -1, -1, 1, 11, 11, TKeyStore::kValue,
     VM_FIELD(ScriptCustom_1)},
    {"ScriptCustom_2", TKeyKind::kString, 0, -1, -1, 1, 12, 12, TKeyStore::kValue,
     VM_FIELD(ScriptCustom_2)},
    {"ScriptCustom_3", TKeyKind::kString, 0, -1, -1, 1, 13, 13, TKeyStore::kValue,
     VM_FIELD(ScriptCustom_3)},
};

#undef VM_FIELD

// The record's script fields in command order (kOrders).
std::string TQsSetupData::*const kScriptFields[kOrderCount] = {
    &TQsSetupData::ScriptShutdown, &TQsSetupData::ScriptMessage, &TQsSetupData::ScriptCustom_1,
    &TQsSetupData::ScriptCustom_2, &TQsSetupData::ScriptCustom_3};

}  // namespace

const std::vector<TQsKey>& QsKeys() {
  return kKeys;
}

const std::vector<TQsNumberKey>& QsNumberKeys() {
  static const std::vector<TQsNumberKey> keys = [] {
    std::vector<TQsNumberKey> numbers;
    for (const TQsKey& key : kKeys) {
      if (key.kind != TKeyKind::kString) numbers.push_back(key);
    }
    return numbers;
  }();
  return keys;
}

const TQsNumberKey* FindQsNumberKey(const std::string& name) {
  return FindSettingRow(QsNumberKeys(), name);
}

const std::vector<std::string>& QsScriptKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> names;
    for (const TOrder& order : kOrders) names.push_back(order.script_key);
    return names;
  }();
  return keys;
}

std::string* QsOrderScript(TQsSetupData* setup, const TOrder& order) {
  return &(setup->*kScriptFields[order.command]);
}

const std::string& QsOrderScript(const TQsSetupData& setup, const TOrder& order) {
  return setup.*kScriptFields[order.command];
}

std::string QsAddressKey(int index) {
  return "Adr" + std::to_string(index);
}

int32_t QsDefault(const TQsNumberKey& key) {
  TQsSetupData defaults;
  return FieldNumber(key.field(&defaults));
}

int32_t NarrowQsValue(const TQsNumberKey& key, int32_t value) {
  TQsSetupData setup;
  DecodeField(key.kind, std::to_string(value), key.field(&setup));
  return FieldNumber(key.field(&setup));
}

void ReadQsKey(const TIniDocument& file, const TQsKey& key, TQsSetupData* setup) {
  const std::optional<std::string> text = file.Get(kSection, key.name);
  if (!text || !DecodeField(key.kind, *text, key.field(setup))) ResetField(key, setup);
}

bool LoadQsSetup(const std::string& program_dir, TQsSetupData* setup) {
  setup->InstallPath = GetInstallPath(program_dir);
  if (setup->InstallPath.empty()) return false;
  TIniDocument file;
  if (LoadIniFile(setup->InstallPath + "bin/qslx.cfg", &file) != 0) file = TIniDocument();

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

  for (const TQsKey* key : RowsInOrder(QsKeys(), &TQsKey::load_rank)) ReadQsKey(file, *key, setup);
  setup->Alive.Script = setup->InstallPath + "script/system/chkfail.sh";
  if (setup->ListenPort == 0) return false;
  for (const TOrder& order : kOrders) {
    if (order.script_required && QsOrderScript(*setup, order).empty()) return false;
  }
  return true;
}
