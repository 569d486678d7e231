// Text and list helpers shared by the daemon, the console and the installer.
// Texts are 8-bit byte strings: no locale and no character set conversion is
// involved anywhere here, so results are the same in every program.
#include "common/text.h"

#include <limits>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool IsControlOrBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

template <typename Pred>
std::string TrimIf(const std::string& text, Pred pred) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && pred(text[begin])) ++begin;
  while (end > begin && pred(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

}  // namespace

std::string TrimBlanks(const std::string& text) {
  return TrimIf(text, IsBlank);
}

std::string TrimControls(const std::string& text) {
  return TrimIf(text, IsControlOrBlank);
}

void SplitToList(char delimiter, const std::string& text, TTextList* list, bool clear) {
  if (clear) list->clear();
  size_t start = 0;
  for (;;) {
    size_t pos = text.find(delimiter, start);
    if (pos == std::string::npos) break;
    list->push_back(TrimBlanks(text.substr(start, pos - start)));
    start = pos + 1;
  }
  std::string last = TrimBlanks(text.substr(start));
  if (!last.empty()) list->push_back(last);
}

std::string JoinList(const TTextList& list, char delimiter) {
  std::string result;
  for (size_t i = 0; i < list.size(); ++i) {
    if (i > 0) result += delimiter;
    result += list[i];
  }
  return result;
}

int IndexOfKey(const TTextList& list, const std::string& key) {
  for (size_t i = 0; i < list.size(); ++i) {
    size_t bar = list[i].find('|');
    if (bar == std::string::npos) continue;
    if (TrimBlanks(list[i].substr(0, bar)) == key) return static_cast<int>(i);
  }
  return -1;
}

bool ParseInt32(const std::string& text, int32_t* value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return false;
  // Accumulated as a magnitude in 64 bits, so that INT32_MIN parses and any
  // longer run of digits is caught before it can overflow.
  int64_t magnitude = 0;
  const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                 : std::numeric_limits<int32_t>::max();
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > limit) return false;
  }
  *value = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return true;
}

int32_t TextToIntInRange(const std::string& text, int32_t minimum, int32_t maximum) {
  int32_t value = 0;
  if (!ParseInt32(text, &value)) return -1;
  if (minimum != -1 && value < minimum) return -1;
  if (maximum != -1 && value > maximum) return -1;
  return value;
}

TTextList SplitLines(const std::string& text) {
  TTextList lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    size_t next = end == std::string::npos ? text.size() : end + 1;
    if (end == std::string::npos) end = text.size();
    if (end > start && text[end - 1] == '\r') --end;
    lines.push_back(text.substr(start, end - start));
    start = next;
  }
  return lines;
}

std::string FrameText(const std::string& text) {
  return "<|" + text + "|>";
}

std::string FrameNumber(int32_t number) {
  return FrameText(std::to_string(number));
}
