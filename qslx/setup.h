// The daemon's settings record, loaded once at start from "bin/qslx.cfg".
#ifndef VOLTMON_QSLX_SETUP_H_
#define VOLTMON_QSLX_SETUP_H_

#include <cstdint>
#include <string>

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

// Fills `setup` from the suite settings found beside the program
// (`program_dir`, with trailing "/") and from InstallPath + "bin/qslx.cfg".
// False on the first failing rule, the record partly filled.
bool LoadQsSetup(const std::string& program_dir, TQsSetupData* setup);

#endif  // VOLTMON_QSLX_SETUP_H_
