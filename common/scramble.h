// The suite's symmetric scrambling of texts into upper-case hexadecimal and
// back: a keyed byte stream with a 16-bit running key. Bit-exact with the
// master server, which uses the same three constants.
#ifndef VOLTMON_COMMON_SCRAMBLE_H_
#define VOLTMON_COMMON_SCRAMBLE_H_

#include <cstddef>
#include <string>

#include "common/text.h"

// Two upper-case hex digits per byte; the empty text for the empty text.
std::string Scramble(const std::string& text);

// The clear text of length/2 bytes; invalid pairs count as the scrambled byte
// 0 and a trailing odd character is ignored. Never fails.
std::string Descramble(const std::string& text);

// The clear text of the `length` scrambled characters at `text` up to the
// first clear byte `stop` (0 to 255; -1 for none), which is left out; the
// bytes after it are not descrambled. `*stopped` (may be null) tells whether
// `stop` was met.
std::string DescrambleUntil(const char* text, size_t length, int stop, bool* stopped);

// Empties `list` and fills it with every line of the file descrambled, in
// order. 0 when the whole file was read, otherwise the errno of the failure.
int LoadScrambledLines(TTextList* list, const std::string& path);

#endif  // VOLTMON_COMMON_SCRAMBLE_H_
