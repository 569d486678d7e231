// Loading the daemon's settings record. Each key is read on its own, a
// missing or unparsable value giving its default, and integers are cut to
// the width of their field by keeping the low bits, as the file's other
// writers expect.
#include "qslx/setup.h"

#include "common/ini.h"
#include "common/settings.h"

namespace {

const char kSection[] = "QS System";

}  // namespace

bool LoadQsSetup(const std::string& program_dir, TQsSetupData* setup) {
  setup->InstallPath = GetInstallPath(program_dir);
  if (setup->InstallPath.empty()) return false;
  const std::string file = setup->InstallPath + "bin/qslx.cfg";

  const std::string language = GetLanguageFile(setup->InstallPath);
  if (language.empty()) return false;
  setup->LanguageFile = setup->InstallPath + "languages/" + language;

  setup->Addresses.clear();
  const uint16_t count = static_cast<uint16_t>(ReadIniInteger(kSection, "AdrCount", 0, file));
  if (count == 0) return false;
  for (uint32_t i = 0; i < count; ++i) {
    std::string address = ReadIniString(kSection, "Adr" + std::to_string(i), "", file);
    if (!address.empty()) setup->Addresses.push_back(address);
  }

  setup->ListenPort = static_cast<uint16_t>(ReadIniInteger(kSection, "ListenPort", 0, file));
  if (setup->ListenPort == 0) return false;

  TQsAliveCheck& alive = setup->Alive;
  alive.Enabled = ReadIniBool(kSection, "AliveEnabled", false, file);
  alive.Frequency = ReadIniInteger(kSection, "AliveFrequency", 1800, file);
  alive.Retries = static_cast<uint8_t>(ReadIniInteger(kSection, "AliveRetries", 3, file));
  alive.Port = static_cast<uint16_t>(ReadIniInteger(kSection, "AlivePort", 65000, file));
  alive.TimeOut = ReadIniInteger(kSection, "AliveTimeOut", 5, file);
  alive.Delay = static_cast<uint16_t>(ReadIniInteger(kSection, "AliveDelay", 1, file));
  alive.Script = setup->InstallPath + "script/system/chkfail.sh";

  setup->ScriptShutdown = ReadIniString(kSection, "ScriptShutdown", "", file);
  setup->ScriptMessage = ReadIniString(kSection, "ScriptMessage", "", file);
  setup->ScriptCustom_1 = ReadIniString(kSection, "ScriptCustom_1", "", file);
  setup->ScriptCustom_2 = ReadIniString(kSection, "ScriptCustom_2", "", file);
  setup->ScriptCustom_3 = ReadIniString(kSection, "ScriptCustom_3", "", file);
  if (setup->ScriptShutdown.empty() || setup->ScriptMessage.empty()) return false;

  setup->LogEnabled = ReadIniBool(kSection, "LogEnabled", true, file);
  setup->LogMaxSize = ReadIniInteger(kSection, "LogMaxSize", 10000000, file);
  return true;
}
