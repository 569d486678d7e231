// Language texts: lookup by section and key in the program's language file,
// and the "^" (line break) and "$" (parameter) conventions.
#ifndef VOLTMON_COMMON_LANG_H_
#define VOLTMON_COMMON_LANG_H_

#include <string>

#include "common/text.h"

// Sets the process-wide language file that LangText reads.
void SetLanguageFilePath(const std::string& path);
const std::string& LanguageFilePath();

// The text of `key` in `section` of the language file; the empty text when
// missing or when the file cannot be read.
std::string LangText(const std::string& key, const std::string& section);

// Every "^" replaced by a carriage return (13); no line feed is added.
std::string ExpandText(const std::string& text);

// ExpandText, then the first "$" replaced by `value`.
std::string ReplaceParam(const std::string& text, const std::string& value);

// ExpandText, then for each value in order the first "$" of the current
// result replaced by it (a "$" inside an inserted value is taken next).
std::string ReplaceParams(const std::string& text, const TTextList& values);

#endif  // VOLTMON_COMMON_LANG_H_
