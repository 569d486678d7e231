// The encodings of the values of both settings files. Integers keep the low
// bits of the 32-bit number read, as the files' other readers do; decimals
// have four places whatever the locale.
#include "common/setting_row.h"

#include <cmath>
#include <cstdlib>

#include "common/scramble.h"
#include "common/text.h"

namespace {

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

}  // namespace

int32_t FieldNumber(const TFieldRef& field) {
  if (auto p = std::get_if<bool*>(&field)) return **p ? 1 : 0;
  if (auto p = std::get_if<uint8_t*>(&field)) return **p;
  if (auto p = std::get_if<uint16_t*>(&field)) return **p;
  if (auto p = std::get_if<int32_t*>(&field)) return **p;
  return 0;
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

std::string EncodeField(TKeyKind kind, const TFieldRef& field) {
  switch (kind) {
    case TKeyKind::kString:
      return StorableValue(*std::get<std::string*>(field));
    case TKeyKind::kPassword:
      return Scramble(*std::get<std::string*>(field));
    case TKeyKind::kBoolean:
      return *std::get<bool*>(field) ? "1" : "0";
    case TKeyKind::kInteger:
      return std::to_string(FieldNumber(field));
    case TKeyKind::kDecimal:
      return FormatDecimal(*std::get<float*>(field));
    case TKeyKind::kSeparator:
      return StorableValue(std::get<std::string*>(field)->substr(0, 1));
  }
  return "";
}

bool DecodeField(TKeyKind kind, const std::string& text, const TFieldRef& field) {
  int32_t number = 0;
  switch (kind) {
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
