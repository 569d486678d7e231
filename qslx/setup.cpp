// Loading the daemon's settings record. The file is read once; each key, a
// missing or unparsable value giving its default (as does a file that cannot
// be read), and integers are cut to the width of their field by keeping the
// low bits, as the file's other writers expect.
#include "qslx/setup.h"

#include "common/ini.h"
#include "common/settings.h"

namespace {

const char kSection[] = "QS System";

}  // namespace

bool LoadQsSetup(const std::string& program_dir, TQsSetupData* setup) {
  setup->InstallPath = GetInstallPath(program_dir);
  if (setup->InstallPath.empty()) return false;
  IniDocument file;
  if (!LoadIniFile(setup->InstallPath + "bin/qslx.cfg", &file)) file = IniDocument();

  const std::string language = GetLanguageFile(setup->InstallPath);
  if (language.empty()) return false;
  setup->LanguageFile = setup->InstallPath + "languages/" + language;

  setup->Addresses.clear();
  const uint16_t count = static_cast<uint16_t>(file.GetInteger(kSection, "AdrCount", 0));
  if (count == 0) return false;
  for (uint32_t i = 0; i < count; ++i) {
    std::string address = file.GetString(kSection, "Adr" + std::to_string(i), "");
    if (!address.empty()) setup->Addresses.push_back(address);
  }

  setup->ListenPort = static_cast<uint16_t>(file.GetInteger(kSection, "ListenPort", 0));
  if (setup->ListenPort == 0) return false;

  TQsAliveCheck& alive = setup->Alive;
  alive.Enabled = file.GetBool(kSection, "AliveEnabled", false);
  alive.Frequency = file.GetInteger(kSection, "AliveFrequency", 1800);
  alive.Retries = static_cast<uint8_t>(file.GetInteger(kSection, "AliveRetries", 3));
  alive.Port = static_cast<uint16_t>(file.GetInteger(kSection, "AlivePort", 65000));
  alive.TimeOut = file.GetInteger(kSection, "AliveTimeOut", 5);
  alive.Delay = static_cast<uint16_t>(file.GetInteger(kSection, "AliveDelay", 1));
  alive.Script = setup->InstallPath + "script/system/chkfail.sh";

  setup->ScriptShutdown = file.GetString(kSection, "ScriptShutdown", "");
  setup->ScriptMessage = file.GetString(kSection, "ScriptMessage", "");
  setup->ScriptCustom_1 = file.GetString(kSection, "ScriptCustom_1", "");
  setup->ScriptCustom_2 = file.GetString(kSection, "ScriptCustom_2", "");
  setup->ScriptCustom_3 = file.GetString(kSection, "ScriptCustom_3", "");
  if (setup->ScriptShutdown.empty() || setup->ScriptMessage.empty()) return false;

  setup->LogEnabled = file.GetBool(kSection, "LogEnabled", true);
  setup->LogMaxSize = file.GetInteger(kSection, "LogMaxSize", 10000000);
  return true;
}
