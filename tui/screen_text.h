// Stored texts as the screen shows them. Texts stay the bytes that were typed
// or read; where the terminal's character set is UTF-8 they are shown and
// edited as characters, measured in screen columns, otherwise one byte is one
// column as ever. Every decision on widths (cutting, padding, wrapping, the
// cursor column, what a key adds or backspace takes away) is made here,
// without a terminal.
#ifndef VOLTMON_TUI_SCREEN_TEXT_H_
#define VOLTMON_TUI_SCREEN_TEXT_H_

#include <cstddef>
#include <string>

#include "common/text.h"

enum class TTextCoding {
  kBytes,  // one byte, one column: the texts drawn as they are
  kUtf8,   // UTF-8 characters of one or two columns (combining marks none)
};

// The coding every routine below and the screen layer use; kBytes at start.
void SetTextCoding(TTextCoding coding);
TTextCoding TextCoding();
// kUtf8 when the character set of the current LC_CTYPE locale is UTF-8.
TTextCoding CodingOfLocale();

// One shown character of a text: its bytes in the text, the bytes to write
// for it and the columns it takes. An invalid byte, a control character or
// one the locale cannot print is written as "?" of one column.
struct TShownChar {
  size_t start;
  size_t length;
  std::string shown;
  int width;
};
// The shown character that begins at byte `start` of `text` (within it).
TShownChar ShownCharAt(const std::string& text, size_t start);

// The columns `text` takes on the screen.
int TextWidth(const std::string& text);
// The number of characters of `text` (for a mask of one "*" each).
size_t CharCount(const std::string& text);
// The longest head of `text` of at most `width` columns, ending with a whole
// character.
std::string CutToWidth(const std::string& text, int width);
// `text` as it is written: the bytes of each shown character, so that
// nothing in a stored text can move the cursor or set terminal modes.
std::string SafeText(const std::string& text);
// Where the last whole character of `text` begins; 0 for an empty text.
size_t LastCharStart(const std::string& text);
// The first whole character of `text`; empty for an empty text.
std::string FirstChar(const std::string& text);

// `text` in lines of at most `width` columns for a box: "\r", "\n" and "^"
// break lines, long lines break at blanks, a word longer than a line is cut
// into pieces of the width. At most `max_lines` lines (the rest is cut);
// none when the width or the line count is below 1.
TTextList WrapText(const std::string& text, int width, int max_lines);

// The bytes of typed keys gathered into characters: in UTF-8 the bytes of a
// character arrive as keys one by one.
class TKeyChars {
 public:
  enum TResult {
    kPending,   // part of a character; more bytes to come
    kComplete,  // `character` holds a whole printable character
    kRefused,   // not a printable character (the bytes so far dropped)
  };
  // Takes one key code (a byte for ordinary keys).
  TResult Add(int key);
  const std::string& character() const { return character_; }
  // Drops a partly typed character (another key came between its bytes).
  void Reset() { pending_.clear(); }

 private:
  std::string pending_;
  std::string character_;
};

#endif  // VOLTMON_TUI_SCREEN_TEXT_H_
