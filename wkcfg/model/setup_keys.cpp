// The key table of "bin/wksrv.cfg" and the encodings of its values. Rows are
// in the field order of the record; each names its field through a small
// accessor, so a row cannot point at the wrong member type unnoticed (the
// kind and width are checked against it by the tests).
#include "wkcfg/model/setup_keys.h"

#include <cmath>
#include <cstdlib>

#include "common/scramble.h"

namespace {

#define VM_FIELD(member) [](TSetupData* s) -> TFieldRef { return &s->member; }

constexpr int32_t kInt32Max = 2147483647;
// Minutes that still fit a signed 32-bit count of seconds.
constexpr int32_t kMaxMinutes = 35791394;

const std::vector<TSetupKey> kKeys = {
    {"UpsModelName", TKeyKind::kString, 0, "", -1, -1, 1, VM_FIELD(Ups.UpsModelName)},
    {"UpsOffEnabled", TKeyKind::kBoolean, 0, "0", -1, -1, 1, VM_FIELD(Ups.UpsOffEnabled)},
    // The delay ranges come from the selected model.
    {"UpsOffDelay", TKeyKind::kInteger, 16, "180", -1, -1, 60, VM_FIELD(Ups.UpsOffDelay)},
    {"UpsOnEnabled", TKeyKind::kBoolean, 0, "0", -1, -1, 1, VM_FIELD(Ups.UpsOnEnabled)},
    {"UpsOnDelay", TKeyKind::kInteger, 16, "60", -1, -1, 1, VM_FIELD(Ups.UpsOnDelay)},
    {"UpsSmartAutonomy", TKeyKind::kBoolean, 0, "0", -1, -1, 1, VM_FIELD(Ups.UpsSmartAutonomy)},
    {"UpsAutonomyTime", TKeyKind::kInteger, 32, "300", 0, kInt32Max, 1,
     VM_FIELD(Ups.UpsAutonomyTime)},
    // -1 (no test result) is accepted beside the range.
    {"UpsLoadPercent", TKeyKind::kDecimal, 0, "-1", 0, 100, 1, VM_FIELD(Ups.UpsLoadPercent)},
    {"UpsBatteryCapacity", TKeyKind::kDecimal, 0, "100", 0, 100, 1,
     VM_FIELD(Ups.UpsBatteryCapacity)},
    {"UpsRechargeTime", TKeyKind::kInteger, 32, "-1", 1, kInt32Max, 1,
     VM_FIELD(Ups.UpsRechargeTime)},

    {"UpsManType", TKeyKind::kInteger, 8, "0", -1, -1, 1, VM_FIELD(Server.UpsManType)},
    {"SrvListenPort", TKeyKind::kInteger, 16, "5769", 1, 65535, 1, VM_FIELD(Server.SrvListenPort)},
    {"UpsDevice", TKeyKind::kString, 0, "", -1, -1, 1, VM_FIELD(Server.UpsDevice)},
    {"UpsNetCardAddress", TKeyKind::kString, 0, "", -1, -1, 1, VM_FIELD(Server.UpsNetCardAddress)},
    {"SrvPollingUps", TKeyKind::kInteger, 8, "5", 1, 255, 1, VM_FIELD(Server.SrvPollingUps)},
    {"SrvDownEnabled", TKeyKind::kBoolean, 0, "1", -1, -1, 1, VM_FIELD(Server.SrvDownEnabled)},
    {"SrvDownFromMonitor", TKeyKind::kBoolean, 0, "0", -1, -1, 1,
     VM_FIELD(Server.SrvDownFromMonitor)},
    {"SrvDownTime", TKeyKind::kInteger, 32, "180", 1, kMaxMinutes, 60,
     VM_FIELD(Server.SrvDownTime)},
    {"UpsFixedTime", TKeyKind::kInteger, 32, "300", 1, kMaxMinutes, 60,
     VM_FIELD(Server.UpsFixedTime)},
    {"SrvDownWarningTime", TKeyKind::kInteger, 32, "300", 1, kMaxMinutes, 60,
     VM_FIELD(Server.SrvDownWarningTime)},
    {"SrvBroadcast", TKeyKind::kInteger, 16, "60", 1, 65535, 1, VM_FIELD(Server.SrvBroadcast)},
    {"SrvLocation", TKeyKind::kString, 0, "", -1, -1, 1, VM_FIELD(Server.SrvLocation)},
    {"SrvMainPassword", TKeyKind::kPassword, 0, "", -1, -1, 1, VM_FIELD(Server.SrvMainPassword)},
    {"SrvMonitorPassword", TKeyKind::kPassword, 0, "", -1, -1, 1,
     VM_FIELD(Server.SrvMonitorPassword)},
    {"SrvAsService", TKeyKind::kBoolean, 0, "0", -1, -1, 1, VM_FIELD(Server.SrvAsService)},
    {"QsAliveEnabled", TKeyKind::kBoolean, 0, "0", -1, -1, 1, VM_FIELD(Server.QsAliveEnabled)},
    {"QsAlivePort", TKeyKind::kInteger, 16, "65000", 1, 65535, 1, VM_FIELD(Server.QsAlivePort)},
    {"QsTimeoutConnection", TKeyKind::kInteger, 32, "5", 1, kInt32Max, 1,
     VM_FIELD(Server.QsTimeoutConnection)},

    {"LogEnabled", TKeyKind::kBoolean, 0, "1", -1, -1, 1, VM_FIELD(LogData.LogEnabled)},
    {"LogMaxSize", TKeyKind::kInteger, 32, "2147483647", 1, 2147483, 1000,
     VM_FIELD(LogData.LogMaxSize)},
    {"DataEnabled", TKeyKind::kBoolean, 0, "1", -1, -1, 1, VM_FIELD(LogData.DataEnabled)},
    {"DataMaxSize", TKeyKind::kInteger, 32, "2147483647", 1, 2147483, 1000,
     VM_FIELD(LogData.DataMaxSize)},
    {"DataRate", TKeyKind::kInteger, 16, "300", 1, 65535, 1, VM_FIELD(LogData.DataRate)},
    {"DataSeparator", TKeyKind::kSeparator, 0, ",", -1, -1, 1, VM_FIELD(LogData.DataSeparator)},
    {"DataReadVinPhaseR", TKeyKind::kBoolean, 0, "1", -1, -1, 1,
     VM_FIELD(LogData.DataReadVinPhaseR)},
    {"DataReadVoutPhaseR", TKeyKind::kBoolean, 0, "1", -1, -1, 1,
     VM_FIELD(LogData.DataReadVoutPhaseR)},
    {"DataReadPoutPhaseR", TKeyKind::kBoolean, 0, "1", -1, -1, 1,
     VM_FIELD(LogData.DataReadPoutPhaseR)},
    {"DataReadVinPhaseS", TKeyKind::kBoolean, 0, "1", -1, -1, 1,
     VM_FIELD(LogData.DataReadVinPhaseS)},
    {"DataReadVoutPhaseS", TKeyKind::kBoolean, 0, "1", -1, -1, 1,
     VM_FIELD(LogData.DataReadVoutPhaseS)},
    {"DataReadPoutPhaseS", TKeyKind::kBoolean, 0, "1", -1, -1, 1,
     VM_FIELD(LogData.DataReadPoutPhaseS)},
    {"DataReadVinPhaseT", TKeyKind::kBoolean, 0, "1", -1, -1, 1,
     VM_FIELD(LogData.DataReadVinPhaseT)},
    {"DataReadVoutPhaseT", TKeyKind::kBoolean, 0, "1", -1, -1, 1,
     VM_FIELD(LogData.DataReadVoutPhaseT)},
    {"DataReadPoutPhaseT", TKeyKind::kBoolean, 0, "1", -1, -1, 1,
     VM_FIELD(LogData.DataReadPoutPhaseT)},
    {"DataReadVbatt", TKeyKind::kBoolean, 0, "1", -1, -1, 1, VM_FIELD(LogData.DataReadVbatt)},
    {"DataReadBattChg", TKeyKind::kBoolean, 0, "1", -1, -1, 1, VM_FIELD(LogData.DataReadBattChg)},
    {"DataReadAutTime", TKeyKind::kBoolean, 0, "1", -1, -1, 1, VM_FIELD(LogData.DataReadAutTime)},

    {"EmailSender", TKeyKind::kString, 0, "", -1, -1, 1, VM_FIELD(Email.EmailSender)},
    {"EmailServer", TKeyKind::kString, 0, "", -1, -1, 1, VM_FIELD(Email.EmailServer)},
    {"EmailEncryption", TKeyKind::kInteger, 32, "0", 0, 2, 1, VM_FIELD(Email.EmailEncryption)},
    {"EmailUseAuth", TKeyKind::kBoolean, 0, "0", -1, -1, 1, VM_FIELD(Email.EmailUseAuth)},
    {"EmailLogin", TKeyKind::kString, 0, "", -1, -1, 1, VM_FIELD(Email.EmailLogin)},
    {"EmailPassword", TKeyKind::kPassword, 0, "", -1, -1, 1, VM_FIELD(Email.EmailPassword)},
    {"EmailPort", TKeyKind::kInteger, 16, "25", 1, 65535, 1, VM_FIELD(Email.EmailPort)},
};

#undef VM_FIELD

constexpr int64_t kDecimalScale = 10000;
constexpr double kDecimalLimit = 999999999.9999;

float DecimalOf(int64_t ten_thousandths) {
  return static_cast<float>(static_cast<double>(ten_thousandths) / kDecimalScale);
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Stores `value` into whatever integer field `field` is, keeping its low
// bits; false for a field that is no integer.
bool StoreInteger(const TFieldRef& field, int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  if (auto p = std::get_if<uint8_t*>(&field)) {
    **p = static_cast<uint8_t>(bits);
  } else if (auto p = std::get_if<uint16_t*>(&field)) {
    **p = static_cast<uint16_t>(bits);
  } else if (auto p = std::get_if<int32_t*>(&field)) {
    **p = value;
  } else {
    return false;
  }
  return true;
}

int32_t IntegerOf(const TFieldRef& field) {
  if (auto p = std::get_if<uint8_t*>(&field)) return **p;
  if (auto p = std::get_if<uint16_t*>(&field)) return **p;
  if (auto p = std::get_if<int32_t*>(&field)) return **p;
  return 0;
}

}  // namespace

const std::vector<TSetupKey>& SetupKeys() {
  return kKeys;
}

const TSetupKey* FindSetupKey(const std::string& name) {
  for (const TSetupKey& key : kKeys) {
    if (name == key.Name) return &key;
  }
  return nullptr;
}

std::string StorableValue(const std::string& text) {
  std::string value;
  for (char c : text) {
    if (c != '\n') value += c;
  }
  size_t end = value.find_last_not_of(" \t\r");
  if (end == std::string::npos) return "";
  size_t begin = value.find_first_not_of(" \t");
  return value.substr(begin, end - begin + 1);
}

std::string FormatDecimal(float value) {
  double d = std::isnan(value) ? 0.0 : value;
  if (d > kDecimalLimit) d = kDecimalLimit;
  if (d < -kDecimalLimit) d = -kDecimalLimit;
  // The nearest four-decimal text; where a float lies between two of them,
  // the one that reads back as this very float.
  int64_t n = std::llround(d * kDecimalScale);
  for (int64_t step : {0, -1, 1, -2, 2}) {
    if (DecimalOf(n + step) == value) {
      n += step;
      break;
    }
  }
  std::string sign = n < 0 ? "-" : "";
  int64_t magnitude = std::llabs(n);
  std::string text = sign + std::to_string(magnitude / kDecimalScale);
  int64_t fraction = magnitude % kDecimalScale;
  if (fraction != 0) {
    std::string digits = std::to_string(fraction);
    digits.insert(0, 4 - digits.size(), '0');
    digits.erase(digits.find_last_not_of('0') + 1);
    text += "." + digits;
  }
  return text;
}

bool ParseDecimal(const std::string& text, float* value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t whole = 0;
  int digits = 0;
  int whole_digits = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i, ++whole_digits) {
    if (whole_digits == 9) return false;
    whole = whole * 10 + (text[i] - '0');
  }
  digits += whole_digits;
  int64_t fraction = 0;
  int fraction_digits = 0;
  bool round_up = false;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && IsDigit(text[i]); ++i, ++fraction_digits) {
      if (fraction_digits < 4) {
        fraction = fraction * 10 + (text[i] - '0');
      } else if (fraction_digits == 4) {
        round_up = text[i] >= '5';
      }
    }
    digits += fraction_digits;
  }
  if (i != text.size() || digits == 0) return false;
  for (int k = fraction_digits; k < 4; ++k) fraction *= 10;
  int64_t n = whole * kDecimalScale + fraction + (round_up ? 1 : 0);
  *value = DecimalOf(negative ? -n : n);
  return true;
}

std::string EncodeSetupValue(const TSetupKey& key, const TSetupData& setup) {
  // The accessor only forms a pointer; nothing is written through it here.
  TFieldRef field = key.Field(const_cast<TSetupData*>(&setup));
  switch (key.Kind) {
    case TKeyKind::kString:
      return StorableValue(*std::get<std::string*>(field));
    case TKeyKind::kPassword:
      return Scramble(*std::get<std::string*>(field));
    case TKeyKind::kBoolean:
      return *std::get<bool*>(field) ? "1" : "0";
    case TKeyKind::kInteger:
      return std::to_string(IntegerOf(field));
    case TKeyKind::kDecimal:
      return FormatDecimal(*std::get<float*>(field));
    case TKeyKind::kSeparator:
      return StorableValue(std::get<std::string*>(field)->substr(0, 1));
  }
  return "";
}

bool DecodeSetupValue(const TSetupKey& key, const std::string& text, TSetupData* setup) {
  TFieldRef field = key.Field(setup);
  int32_t number = 0;
  switch (key.Kind) {
    case TKeyKind::kString:
      *std::get<std::string*>(field) = StorableValue(text);
      return true;
    case TKeyKind::kPassword:
      *std::get<std::string*>(field) = Descramble(text);
      return true;
    case TKeyKind::kBoolean:
      if (!ParseInt32(text, &number)) return false;
      *std::get<bool*>(field) = number != 0;
      return true;
    case TKeyKind::kInteger:
      return ParseInt32(text, &number) && StoreInteger(field, number);
    case TKeyKind::kDecimal: {
      float value = 0;
      if (!ParseDecimal(text, &value)) return false;
      *std::get<float*>(field) = value;
      return true;
    }
    case TKeyKind::kSeparator:
      *std::get<std::string*>(field) = StorableValue(text.substr(0, 1));
      return true;
  }
  return false;
}
