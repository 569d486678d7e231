// The scrambling of passwords, wire messages, model database lines and the
// installation log. Both directions advance the 16-bit running key with the
// scrambled byte, which is what makes them inverse; every text starts afresh
// from the start key.
#include "common/scramble.h"

#include <cstdint>

#include "common/files.h"

namespace {

constexpr uint16_t kStartKey = 0xE16B;
constexpr uint16_t kKeyMultiplier = 0x91C4;
constexpr uint16_t kKeyIncrement = 0xC807;

uint16_t NextKey(uint16_t key, uint8_t scrambled) {
  // Computed in 32 bits and cut back, since uint16_t arithmetic promotes to
  // int and the product would overflow a signed int.
  uint32_t next = (static_cast<uint32_t>(key) + scrambled) * kKeyMultiplier + kKeyIncrement;
  return static_cast<uint16_t>(next & 0xFFFFu);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string Scramble(const std::string& text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string result;
  result.reserve(text.size() * 2);
  uint16_t key = kStartKey;
  for (char c : text) {
    uint8_t s = static_cast<uint8_t>(static_cast<uint8_t>(c) ^ (key >> 8));
    key = NextKey(key, s);
    result += kDigits[s >> 4];
    result += kDigits[s & 0x0F];
  }
  return result;
}

std::string Descramble(const std::string& text) {
  return DescrambleUntil(text.data(), text.size(), -1, nullptr);
}

std::string DescrambleUntil(const char* text, size_t length, int stop, bool* stopped) {
  std::string result;
  size_t n = length / 2;
  if (stop < 0) result.reserve(n);
  if (stopped != nullptr) *stopped = false;
  uint16_t key = kStartKey;
  for (size_t i = 0; i < n; ++i) {
    int high = HexDigit(text[2 * i]);
    int low = HexDigit(text[2 * i + 1]);
    uint8_t s = (high < 0 || low < 0) ? 0 : static_cast<uint8_t>(high * 16 + low);
    const char clear = static_cast<char>(s ^ (key >> 8));
    if (stop >= 0 && static_cast<unsigned char>(clear) == stop) {
      if (stopped != nullptr) *stopped = true;
      break;
    }
    result += clear;
    key = NextKey(key, s);
  }
  return result;
}

int LoadScrambledLines(TTextList* list, const std::string& path) {
  list->clear();
  std::string contents;
  int error = ReadWholeFile(path, &contents, kModelDatabaseLimit);
  TTextList lines = SplitLines(contents);
  // After a read error the last line may be cut short; only whole lines are
  // kept.
  if (error != 0 && !contents.empty() && contents.back() != '\n') lines.pop_back();
  for (const std::string& line : lines) list->push_back(Descramble(line));
  return error;
}
