// Small routines on texts and ordered lists of texts shared by every program:
// trimming, splitting at a delimiter, joining, key lookup and frames.
#ifndef VOLTMON_COMMON_TEXT_H_
#define VOLTMON_COMMON_TEXT_H_

#include <cstdint>
#include <string>
#include <vector>

// An ordered list of 8-bit texts.
using TTextList = std::vector<std::string>;

// The text without blanks (space and tab) at both ends.
std::string TrimBlanks(const std::string& text);

// The text without blanks and control characters (bytes 0..32) at both ends.
std::string TrimControls(const std::string& text);

// Fills `list` with the fields of `text` cut at `delimiter`, each trimmed of
// blanks. Empty inner fields are kept; an empty (or blank) last field is not.
// With `clear` the list is emptied first, otherwise the fields are appended.
void SplitToList(char delimiter, const std::string& text, TTextList* list, bool clear);

// The entries joined by `delimiter`; the empty text for an empty list.
std::string JoinList(const TTextList& list, char delimiter);

// Index of the first entry holding "|" whose text before its first "|",
// trimmed of blanks, equals `key` exactly; -1 when there is none.
int IndexOfKey(const TTextList& list, const std::string& key);

// `text` as a whole number (optional sign) within [minimum, maximum], a bound
// of -1 meaning none on that side; -1 when it does not parse or lies outside.
int32_t TextToIntInRange(const std::string& text, int32_t minimum, int32_t maximum);

// Parses a whole decimal integer with optional sign and no blanks; false when
// the text is not one or does not fit 32 signed bits.
bool ParseInt32(const std::string& text, int32_t* value);

// The lines of `text` split at line feeds, a carriage return before the line
// feed dropped; a last line without line feed counts, an empty tail does not.
TTextList SplitLines(const std::string& text);

// "<|" + text + "|>".
std::string FrameText(const std::string& text);

// FrameText of the number in decimal, such as "<|5|>".
std::string FrameNumber(int32_t number);

#endif  // VOLTMON_COMMON_TEXT_H_
