// Fuzzes the INI reader on arbitrary file contents: read, write back, read
// again. The second reading must hold every section and line of the first,
// and the written form must be stable. For inputs whose lines are plain
// enough to read by hand, every entry's first value must also be the one the
// reader returns.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/ini.h"
#include "common/text.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool PlainName(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == ' ' || c == '.';
    if (!ok) return false;
  }
  return name.front() != ' ' && name.back() != ' ';
}

using Entries = std::map<std::pair<std::string, std::string>, std::string>;

// The first value of every (section, key) in lower case, or false when a line
// is one this hand reading would not dare to judge (control characters, odd
// header lines, a section opened twice).
bool ReadByHand(const std::string& text, Entries* entries) {
  std::map<std::string, int> opened;
  std::string section;
  bool in_section = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = ReferenceTrim(text.substr(start, end - start));
    start = end + 1;
    for (char c : line) {
      if (static_cast<unsigned char>(c) < 32 && c != '\t') return false;
    }
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']') return false;
      const std::string name = line.substr(1, line.size() - 2);
      if (!PlainName(name) || ++opened[Lower(name)] > 1) return false;
      section = Lower(name);
      in_section = true;
      continue;
    }
    const size_t equals = line.find('=');
    if (!in_section || equals == std::string::npos) continue;
    const std::string key = ReferenceTrim(line.substr(0, equals));
    if (!PlainName(key)) continue;
    entries->emplace(std::make_pair(section, Lower(key)), ReferenceTrim(line.substr(equals + 1)));
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  TIniDocument first;
  first.Parse(input);
  const std::string written = first.Serialize();
  TIniDocument second;
  second.Parse(written);
  Require(second.Serialize() == written);

  const TTextList names = first.SectionNames();
  Require(second.SectionNames() == names);
  for (const std::string& name : names) {
    TTextList before;
    TTextList after;
    Require(first.SectionLines(name, &before));
    Require(second.SectionLines(name, &after));
    Require(before == after);
  }

  Entries entries;
  if (ReadByHand(input, &entries)) {
    for (const auto& [where, value] : entries) {
      const auto got = first.Get(where.first, where.second);
      Require(got.has_value() && *got == value);
      const auto again = second.Get(where.first, where.second);
      Require(again.has_value() && *again == value);
    }
  }
  return 0;
}
