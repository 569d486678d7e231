// Widths and cuts of shown texts. UTF-8 is decoded here by hand, strictly
// (no overlong forms, surrogates or code points past U+10FFFF), so that any
// byte that is not part of a valid character becomes one "?" and a stored
// text can never send the terminal a sequence it did not come with; the
// columns of a character are what the C library says for the locale, as the
// screen library places characters by the same measure.
#include "tui/screen_text.h"

#include <langinfo.h>
#include <wchar.h>

#include <cstdint>
#include <cstring>

namespace {

TTextCoding g_coding = TTextCoding::kBytes;

bool IsContinuation(unsigned char byte) {
  return byte >= 0x80 && byte <= 0xbf;
}

// The length of the character a lead byte begins, 0 for no lead byte.
size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xc2 && lead <= 0xdf) return 2;
  if (lead >= 0xe0 && lead <= 0xef) return 3;
  if (lead >= 0xf0 && lead <= 0xf4) return 4;
  return 0;
}

// The code point of the valid UTF-8 sequence at `start`, or false.
bool DecodeAt(const std::string& text, size_t start, uint32_t* code, size_t* length) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[start + i]); };
  const unsigned char lead = byte(0);
  const size_t n = SequenceLength(lead);
  if (n == 0 || start + n > text.size()) return false;
  for (size_t i = 1; i < n; ++i) {
    if (!IsContinuation(byte(i))) return false;
  }
  // The second byte's range rules out overlong forms, surrogates and code
  // points past U+10FFFF.
  if ((lead == 0xe0 && byte(1) < 0xa0) || (lead == 0xed && byte(1) > 0x9f) ||
      (lead == 0xf0 && byte(1) < 0x90) || (lead == 0xf4 && byte(1) > 0x8f)) {
    return false;
  }
  static const unsigned char kLeadMask[] = {0, 0x7f, 0x1f, 0x0f, 0x07};
  uint32_t value = lead & kLeadMask[n];
  for (size_t i = 1; i < n; ++i) value = (value << 6) | (byte(i) & 0x3f);
  *code = value;
  *length = n;
  return true;
}

bool IsControl(uint32_t code) {
  return code < 0x20 || (code >= 0x7f && code < 0xa0);
}

// The words of one paragraph in lines of at most `width` columns. The blanks
// between two words on one line are kept as they were (fixed texts may hold
// two); those where a line breaks are dropped.
void AddWrapped(const std::string& paragraph, int width, TTextList* lines) {
  std::string line;
  int line_width = 0;
  size_t i = 0;
  while (i < paragraph.size()) {
    const size_t word_start = paragraph.find_first_not_of(' ', i);
    if (word_start == std::string::npos) break;
    const int gap = static_cast<int>(word_start - i);
    size_t end = paragraph.find(' ', word_start);
    if (end == std::string::npos) end = paragraph.size();
    std::string word = paragraph.substr(word_start, end - word_start);
    i = end;
    int word_width = TextWidth(word);
    if (!line.empty() && line_width + gap + word_width <= width) {
      line += std::string(static_cast<size_t>(gap), ' ') + word;
      line_width += gap + word_width;
      continue;
    }
    if (!line.empty()) lines->push_back(line);
    line.clear();
    while (word_width > width) {
      const std::string piece = CutToWidth(word, width);
      // A character wider than the whole line cannot be shown at all.
      if (piece.empty()) {
        word.erase(0, ShownCharAt(word, 0).length);
      } else {
        lines->push_back(piece);
        word.erase(0, piece.size());
      }
      word_width = TextWidth(word);
    }
    line = word;
    line_width = word_width;
  }
  lines->push_back(line);
}

}  // namespace

void SetTextCoding(TTextCoding coding) {
  g_coding = coding;
}

TTextCoding TextCoding() {
  return g_coding;
}

TTextCoding CodingOfLocale() {
  const char* codeset = nl_langinfo(CODESET);
  return codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0 ? TTextCoding::kUtf8
                                                                  : TTextCoding::kBytes;
}

TShownChar ShownCharAt(const std::string& text, size_t start) {
  if (g_coding == TTextCoding::kBytes) return {start, 1, text.substr(start, 1), 1};
  uint32_t code = 0;
  size_t length = 0;
  if (!DecodeAt(text, start, &code, &length)) return {start, 1, "?", 1};
  if (IsControl(code)) return {start, length, "?", 1};
  const int width = wcwidth(static_cast<wchar_t>(code));
  if (width < 0) return {start, length, "?", 1};
  return {start, length, text.substr(start, length), width};
}

int TextWidth(const std::string& text) {
  if (g_coding == TTextCoding::kBytes) return static_cast<int>(text.size());
  int width = 0;
  for (size_t i = 0; i < text.size();) {
    const TShownChar c = ShownCharAt(text, i);
    width += c.width;
    i += c.length;
  }
  return width;
}

size_t CharCount(const std::string& text) {
  if (g_coding == TTextCoding::kBytes) return text.size();
  size_t count = 0;
  for (size_t i = 0; i < text.size(); i += ShownCharAt(text, i).length) ++count;
  return count;
}

std::string CutToWidth(const std::string& text, int width) {
  size_t end = 0;
  int used = 0;
  while (end < text.size()) {
    const TShownChar c = ShownCharAt(text, end);
    if (used + c.width > width) break;
    used += c.width;
    end += c.length;
  }
  return text.substr(0, end);
}

std::string SafeText(const std::string& text) {
  if (g_coding == TTextCoding::kBytes) return text;
  std::string safe;
  safe.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const TShownChar c = ShownCharAt(text, i);
    safe += c.shown;
    i += c.length;
  }
  return safe;
}

size_t LastCharStart(const std::string& text) {
  if (text.empty()) return 0;
  if (g_coding == TTextCoding::kBytes) return text.size() - 1;
  size_t last = 0;
  for (size_t i = 0; i < text.size(); i += ShownCharAt(text, i).length) last = i;
  return last;
}

std::string FirstChar(const std::string& text) {
  return text.empty() ? std::string() : text.substr(0, ShownCharAt(text, 0).length);
}

TTextList WrapText(const std::string& text, int width, int max_lines) {
  TTextList lines;
  if (width < 1 || max_lines < 1) return lines;
  std::string paragraph;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n' || c == '^') {
      AddWrapped(paragraph, width, &lines);
      paragraph.clear();
      // "\r\n" is one break.
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      paragraph.push_back(c);
    }
  }
  AddWrapped(paragraph, width, &lines);
  if (static_cast<int>(lines.size()) > max_lines) lines.resize(static_cast<size_t>(max_lines));
  return lines;
}

TKeyChars::TResult TKeyChars::Add(int key) {
  if (key < 0 || key > 255) {
    pending_.clear();
    return kRefused;
  }
  const auto byte = static_cast<unsigned char>(key);
  // Another key between the bytes of a character drops them.
  if (!pending_.empty() && !IsContinuation(byte)) pending_.clear();
  if (pending_.empty()) {
    if (byte < 0x80) {
      if (byte < 32 || byte > 126) return kRefused;
      character_.assign(1, static_cast<char>(byte));
      return kComplete;
    }
    if (g_coding == TTextCoding::kBytes || SequenceLength(byte) == 0) return kRefused;
  }
  pending_.push_back(static_cast<char>(byte));
  const size_t n = SequenceLength(static_cast<unsigned char>(pending_[0]));
  if (pending_.size() < n) return kPending;
  std::string whole;
  whole.swap(pending_);
  const TShownChar shown = ShownCharAt(whole, 0);
  if (shown.length != whole.size() || shown.shown != whole || shown.width < 1) return kRefused;
  character_ = whole;
  return kComplete;
}
