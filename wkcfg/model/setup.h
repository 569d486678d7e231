// The master server's configuration record `TSetupData` and its file
// "bin/wksrv.cfg" (section "Wattkeep"): loading, saving and the reset of the
// autonomy test values.
#ifndef VOLTMON_WKCFG_MODEL_SETUP_H_
#define VOLTMON_WKCFG_MODEL_SETUP_H_

#include <cstdint>
#include <string>

#include "wkcfg/model/events.h"

struct TUpsProtocolSetup {
  int32_t ProtocolId = 0;  // set by the model selection, never stored
  std::string ProtocolText;
};

struct TUpsSetup {
  std::string UpsModelName;
  TUpsProtocolSetup Protocol;
  bool UpsOffEnabled = false;
  uint16_t UpsOffDelay = 180;  // seconds
  bool UpsOnEnabled = false;
  uint16_t UpsOnDelay = 60;  // seconds
  TEvents Events;
  bool UpsSmartAutonomy = false;
  int32_t UpsAutonomyTime = 300;  // seconds
  float UpsLoadPercent = -1;      // -1: no test result
  float UpsBatteryCapacity = 100;
  int32_t UpsRechargeTime = -1;  // seconds
};

struct TServerSetup {
  uint8_t UpsManType = 0;  // 1 for the device "USB"
  uint16_t SrvListenPort = 5769;
  std::string UpsDevice;
  std::string UpsNetCardAddress;  // always saved empty
  uint8_t SrvPollingUps = 5;
  bool SrvDownEnabled = true;
  bool SrvDownFromMonitor = false;
  int32_t SrvDownTime = 180;
  int32_t UpsFixedTime = 300;
  int32_t SrvDownWarningTime = 300;  // at least 60 after a load
  uint16_t SrvBroadcast = 60;
  std::string SrvLocation;
  std::string SrvMainPassword;  // clear text in memory, scrambled in the file
  std::string SrvMonitorPassword;
  bool SrvAsService = false;
  bool QsAliveEnabled = false;
  uint16_t QsAlivePort = 65000;
  int32_t QsTimeoutConnection = 5;
};

struct TLogDataSetup {
  bool LogEnabled = true;
  int32_t LogMaxSize = 2147483647;  // bytes
  bool DataEnabled = true;
  int32_t DataMaxSize = 2147483647;
  uint16_t DataRate = 300;          // seconds
  std::string DataSeparator = ",";  // at most one character
  bool DataReadVinPhaseR = true;
  bool DataReadVoutPhaseR = true;
  bool DataReadPoutPhaseR = true;
  bool DataReadVinPhaseS = true;
  bool DataReadVoutPhaseS = true;
  bool DataReadPoutPhaseS = true;
  bool DataReadVinPhaseT = true;
  bool DataReadVoutPhaseT = true;
  bool DataReadPoutPhaseT = true;
  bool DataReadVbatt = true;
  bool DataReadBattChg = true;
  bool DataReadAutTime = true;
};

struct TEmailSetup {
  std::string EmailSender;
  std::string EmailServer;
  int32_t EmailEncryption = 0;  // 0 none, 1 STARTTLS, 2 SSL/TLS
  bool EmailUseAuth = false;
  std::string EmailLogin;
  std::string EmailPassword;  // clear text in memory, scrambled in the file
  uint16_t EmailPort = 25;
};

struct TSetupData {
  std::string InstallPath;   // with trailing "/"
  std::string LanguageFile;  // full path
  TUpsSetup Ups;
  TServerSetup Server;
  TLogDataSetup LogData;
  TEmailSetup Email;
};

// InstallPath + "bin/wksrv.cfg".
std::string ServerSetupPath(const TSetupData& setup);

// Fills every field but InstallPath and LanguageFile from the file (which
// InstallPath must name); a missing or unreadable file, a missing key or a
// bad value gives the field's default. 0 when the file was read or is
// missing, otherwise the error number of the read (see FileErrorText).
int LoadServerSetup(TSetupData* setup);

// LoadServerSetup from the file at `path` instead. 0, or the error number
// when the file is missing (ENOENT) or cannot be read; the fields then hold
// their defaults.
int LoadServerSetupFile(const std::string& path, TSetupData* setup);

// Writes the record to the file in one atomic replacement, keeping every
// other section and unknown key. The three autonomy keys are written only
// when `write_autonomy` (the server is not running, or a model change reset
// them). 0, or the error number (see FileErrorText); the old file is then
// untouched. `in_place`: see ReplaceFile.
int SaveServerSetup(const TSetupData& setup, bool write_autonomy, bool* in_place = nullptr);

// Puts the three autonomy test values (UpsAutonomyTime, UpsLoadPercent,
// UpsBatteryCapacity) back to the defaults of the record.
void ResetAutonomyData(TSetupData* setup);

#endif  // VOLTMON_WKCFG_MODEL_SETUP_H_
