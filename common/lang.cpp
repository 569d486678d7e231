// Language texts of the running program. The file path is process-wide: set
// once at start-up, before any thread runs, and only read afterwards.
#include "common/lang.h"

#include "common/ini.h"

namespace {

std::string& LanguagePath() {
  static std::string path;
  return path;
}

void ReplaceFirstDollar(std::string* text, const std::string& value) {
  size_t pos = text->find('$');
  if (pos != std::string::npos) text->replace(pos, 1, value);
}

}  // namespace

void SetLanguageFilePath(const std::string& path) {
  LanguagePath() = path;
}

const std::string& LanguageFilePath() {
  return LanguagePath();
}

std::string LangText(const std::string& key, const std::string& section) {
  return ReadIniValue(LanguagePath(), section, key).value_or("");
}

std::string ExpandText(const std::string& text) {
  std::string result = text;
  for (char& c : result) {
    if (c == '^') c = '\r';
  }
  return result;
}

std::string ReplaceParam(const std::string& text, const std::string& value) {
  std::string result = ExpandText(text);
  ReplaceFirstDollar(&result, value);
  return result;
}

std::string ReplaceParams(const std::string& text, const TextList& values) {
  std::string result = ExpandText(text);
  for (const std::string& value : values) ReplaceFirstDollar(&result, value);
  return result;
}
