// The key table of "bin/wksrv.cfg". Rows are in the field order of the
// record; each names its field through a small accessor, so a row cannot
// point at the wrong member type unnoticed (the kind and width are checked
// against it by the tests). The ranks give the orders the master server's
// other tools read and write the keys in, so that the keys of a new file
// stand where they expect.
#include "wkcfg/model/setup_keys.h"

namespace {

#define VM_FIELD(member) [](TSetupData* s) -> TFieldRef { return &s->member; }

constexpr int32_t kInt32Max = 2147483647;
// Minutes that still fit a signed 32-bit count of seconds.
constexpr int32_t kMaxMinutes = 35791394;

const std::vector<TSetupKey> kKeys = {
    {"UpsModelName", TKeyKind::kString, 0, -1, -1, 1, 0, 0, TKeyStore::kValue,
     VM_FIELD(Ups.UpsModelName)},
    {"UpsOffEnabled", TKeyKind::kBoolean, 0, -1, -1, 1, 1, 13, TKeyStore::kValue,
     VM_FIELD(Ups.UpsOffEnabled)},
    // The delay ranges come from the selected model.
    {"UpsOffDelay", TKeyKind::kInteger, 16, -1, -1, 60, 2, 14, TKeyStore::kValue,
     VM_FIELD(Ups.UpsOffDelay)},
    {"UpsOnEnabled", TKeyKind::kBoolean, 0, -1, -1, 1, 3, 15, TKeyStore::kValue,
     VM_FIELD(Ups.UpsOnEnabled)},
    {"UpsOnDelay", TKeyKind::kInteger, 16, -1, -1, 1, 4, 16, TKeyStore::kValue,
     VM_FIELD(Ups.UpsOnDelay)},
    {"UpsSmartAutonomy", TKeyKind::kBoolean, 0, -1, -1, 1, 5, 11, TKeyStore::kValue,
     VM_FIELD(Ups.UpsSmartAutonomy)},
    {"UpsAutonomyTime", TKeyKind::kInteger, 32, 0, kInt32Max, 1, 7, 34, TKeyStore::kAutonomy,
     VM_FIELD(Ups.UpsAutonomyTime)},
    // -1 (no test result) is accepted beside the range.
    {"UpsLoadPercent", TKeyKind::kDecimal, 0, 0, 100, 1, 8, 35, TKeyStore::kAutonomy,
     VM_FIELD(Ups.UpsLoadPercent)},
    {"UpsBatteryCapacity", TKeyKind::kDecimal, 0, 0, 100, 1, 9, 36, TKeyStore::kAutonomy,
     VM_FIELD(Ups.UpsBatteryCapacity)},
    {"UpsRechargeTime", TKeyKind::kInteger, 32, 1, kInt32Max, 1, 6, 1, TKeyStore::kValue,
     VM_FIELD(Ups.UpsRechargeTime)},

    {"UpsManType", TKeyKind::kInteger, 8, -1, -1, 1, 10, 39, TKeyStore::kValue,
     VM_FIELD(Server.UpsManType)},
    {"SrvListenPort", TKeyKind::kInteger, 16, 1, 65535, 1, 17, 5, TKeyStore::kValue,
     VM_FIELD(Server.SrvListenPort)},
    {"UpsDevice", TKeyKind::kString, 0, -1, -1, 1, 15, 3, TKeyStore::kValue,
     VM_FIELD(Server.UpsDevice)},
    {"UpsNetCardAddress", TKeyKind::kString, 0, -1, -1, 1, 11, 4, TKeyStore::kEmpty,
     VM_FIELD(Server.UpsNetCardAddress)},
    {"SrvPollingUps", TKeyKind::kInteger, 8, 1, 255, 1, 16, 30, TKeyStore::kValue,
     VM_FIELD(Server.SrvPollingUps)},
    {"SrvDownEnabled", TKeyKind::kBoolean, 0, -1, -1, 1, 18, 10, TKeyStore::kValue,
     VM_FIELD(Server.SrvDownEnabled)},
    {"SrvDownFromMonitor", TKeyKind::kBoolean, 0, -1, -1, 1, 19, 12, TKeyStore::kValue,
     VM_FIELD(Server.SrvDownFromMonitor)},
    {"SrvDownTime", TKeyKind::kInteger, 32, 1, kMaxMinutes, 60, 20, 37, TKeyStore::kValue,
     VM_FIELD(Server.SrvDownTime)},
    {"UpsFixedTime", TKeyKind::kInteger, 32, 1, kMaxMinutes, 60, 21, 38, TKeyStore::kValue,
     VM_FIELD(Server.UpsFixedTime)},
    {"SrvDownWarningTime", TKeyKind::kInteger, 32, 1, kMaxMinutes, 60, 22, 29, TKeyStore::kValue,
     VM_FIELD(Server.SrvDownWarningTime)},
    {"SrvBroadcast", TKeyKind::kInteger, 16, 1, 65535, 1, 23, 6, TKeyStore::kValue,
     VM_FIELD(Server.SrvBroadcast)},
    {"SrvLocation", TKeyKind::kString, 0, -1, -1, 1, 12, 2, TKeyStore::kValue,
     VM_FIELD(Server.SrvLocation)},
    {"SrvMainPassword", TKeyKind::kPassword, 0, -1, -1, 1, 13, 7, TKeyStore::kValue,
     VM_FIELD(Server.SrvMainPassword)},
    {"SrvMonitorPassword", TKeyKind::kPassword, 0, -1, -1, 1, 14, 8, TKeyStore::kValue,
     VM_FIELD(Server.SrvMonitorPassword)},
    {"SrvAsService", TKeyKind::kBoolean, 0, -1, -1, 1, 24, 9, TKeyStore::kValue,
     VM_FIELD(Server.SrvAsService)},
    {"QsAliveEnabled", TKeyKind::kBoolean, 0, -1, -1, 1, 25, 31, TKeyStore::kValue,
     VM_FIELD(Server.QsAliveEnabled)},
    {"QsAlivePort", TKeyKind::kInteger, 16, 1, 65535, 1, 26, 32, TKeyStore::kValue,
     VM_FIELD(Server.QsAlivePort)},
    {"QsTimeoutConnection", TKeyKind::kInteger, 32, 1, kInt32Max, 1, 27, 33, TKeyStore::kValue,
     VM_FIELD(Server.QsTimeoutConnection)},

    {"LogEnabled", TKeyKind::kBoolean, 0, -1, -1, 1, 28, 17, TKeyStore::kValue,
     VM_FIELD(LogData.LogEnabled)},
    {"LogMaxSize", TKeyKind::kInteger, 32, 1, 2147483, 1000, 29, 18, TKeyStore::kValue,
     VM_FIELD(LogData.LogMaxSize)},
    {"DataEnabled", TKeyKind::kBoolean, 0, -1, -1, 1, 30, 19, TKeyStore::kValue,
     VM_FIELD(LogData.DataEnabled)},
    {"DataMaxSize", TKeyKind::kInteger, 32, 1, 2147483, 1000, 31, 20, TKeyStore::kValue,
     VM_FIELD(LogData.DataMaxSize)},
    {"DataRate", TKeyKind::kInteger, 16, 1, 65535, 1, 32, 21, TKeyStore::kValue,
     VM_FIELD(LogData.DataRate)},
    {"DataSeparator", TKeyKind::kSeparator, 0, -1, -1, 1, 33, 40, TKeyStore::kValue,
     VM_FIELD(LogData.DataSeparator)},
    {"DataReadVinPhaseR", TKeyKind::kBoolean, 0, -1, -1, 1, 34, 41, TKeyStore::kValue,
     VM_FIELD(LogData.DataReadVinPhaseR)},
    {"DataReadVoutPhaseR", TKeyKind::kBoolean, 0, -1, -1, 1, 35, 44, TKeyStore::kValue,
     VM_FIELD(LogData.DataReadVoutPhaseR)},
    {"DataReadPoutPhaseR", TKeyKind::kBoolean, 0, -1, -1, 1, 36, 47, TKeyStore::kValue,
     VM_FIELD(LogData.DataReadPoutPhaseR)},
    {"DataReadVinPhaseS", TKeyKind::kBoolean, 0, -1, -1, 1, 37, 42, TKeyStore::kValue,
     VM_FIELD(LogData.DataReadVinPhaseS)},
    {"DataReadVoutPhaseS", TKeyKind::kBoolean, 0, -1, -1, 1, 38, 45, TKeyStore::kValue,
     VM_FIELD(LogData.DataReadVoutPhaseS)},
    {"DataReadPoutPhaseS", TKeyKind::kBoolean, 0, -1, -1, 1, 39, 48, TKeyStore::kValue,
     VM_FIELD(LogData.DataReadPoutPhaseS)},
    {"DataReadVinPhaseT", TKeyKind::kBoolean, 0, -1, -1, 1, 40, 43, TKeyStore::kValue,
     VM_FIELD(LogData.DataReadVinPhaseT)},
    {"DataReadVoutPhaseT", TKeyKind::kBoolean, 0, -1, -1, 1, 41, 46, TKeyStore::kValue,
     VM_FIELD(LogData.DataReadVoutPhaseT)},
    {"DataReadPoutPhaseT", TKeyKind::kBoolean, 0, -1, -1, 1, 42, 49, TKeyStore::kValue,
     VM_FIELD(LogData.DataReadPoutPhaseT)},
    {"DataReadVbatt", TKeyKind::kBoolean, 0, -1, -1, 1, 43, 50, TKeyStore::kValue,
     VM_FIELD(LogData.DataReadVbatt)},
    {"DataReadBattChg", TKeyKind::kBoolean, 0, -1, -1, 1, 44, 51, TKeyStore::kValue,
     VM_FIELD(LogData.DataReadBattChg)},
    {"DataReadAutTime", TKeyKind::kBoolean, 0, -1, -1, 1, 45, 52, TKeyStore::kValue,
     VM_FIELD(LogData.DataReadAutTime)},

    {"EmailSender", TKeyKind::kString, 0, -1, -1, 1, 46, 22, TKeyStore::kValue,
     VM_FIELD(Email.EmailSender)},
    {"EmailServer", TKeyKind::kString, 0, -1, -1, 1, 47, 23, TKeyStore::kValue,
     VM_FIELD(Email.EmailServer)},
    {"EmailEncryption", TKeyKind::kInteger, 32, 0, 2, 1, 48, 25, TKeyStore::kValue,
     VM_FIELD(Email.EmailEncryption)},
    {"EmailUseAuth", TKeyKind::kBoolean, 0, -1, -1, 1, 49, 26, TKeyStore::kValue,
     VM_FIELD(Email.EmailUseAuth)},
    {"EmailLogin", TKeyKind::kString, 0, -1, -1, 1, 50, 27, TKeyStore::kValue,
     VM_FIELD(Email.EmailLogin)},
    {"EmailPassword", TKeyKind::kPassword, 0, -1, -1, 1, 51, 28, TKeyStore::kValue,
     VM_FIELD(Email.EmailPassword)},
    {"EmailPort", TKeyKind::kInteger, 16, 1, 65535, 1, 52, 24, TKeyStore::kValue,
     VM_FIELD(Email.EmailPort)},
};

#undef VM_FIELD

}  // namespace

const std::vector<TSetupKey>& SetupKeys() {
  return kKeys;
}

const TSetupKey* FindSetupKey(const std::string& name) {
  return FindSettingRow(kKeys, name);
}

std::string EncodeSetupValue(const TSetupKey& key, const TSetupData& setup) {
  // The accessor only forms a pointer; nothing is written through it here.
  return EncodeField(key.kind, key.field(const_cast<TSetupData*>(&setup)));
}

bool DecodeSetupValue(const TSetupKey& key, const std::string& text, TSetupData* setup) {
  return DecodeField(key.kind, text, key.field(setup));
}
