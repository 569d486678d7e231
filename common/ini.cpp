// The suite's INI dialect: parsing into an in-memory document, the normalised
// form written back, and the one-shot routines every program reads and writes
// its settings through. A write replaces the file by rename, so a reader (or
// a crash) never sees a half-written settings file; a read never writes.
#include "common/ini.h"

#include <errno.h>

#include <algorithm>

#include "common/files.h"

namespace {

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Names compare by ASCII case only: the files are 8-bit and a locale must not
// change which entry a program finds.
bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// A carriage return at a line end belongs to the line end, whatever blanks
// stand around it; kept in a value it would be lost on the next read.
std::string TrimLine(const std::string& line) {
  size_t begin = line.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  size_t end = line.find_last_not_of(" \t\r");
  return line.substr(begin, end - begin + 1);
}

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

void IniDocument::Parse(const std::string& text) {
  sections_.clear();
  Section* current = nullptr;
  for (const std::string& raw : SplitLines(text)) {
    std::string line = TrimLine(raw);
    if (line.empty() || line[0] == ';') continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      std::string name = TrimBlanks(line.substr(1, line.size() - 2));
      // A section that appears twice is one section: its entries are merged
      // so that none becomes unreachable.
      current = FindSection(name);
      if (current == nullptr) {
        sections_.push_back(Section{name, true, {}});
        current = &sections_.back();
      }
      continue;
    }
    if (current == nullptr) {
      sections_.push_back(Section{"", false, {}});
      current = &sections_.back();
    }
    Line entry;
    size_t eq = line.find('=');
    if (eq == std::string::npos) {
      entry.text = line;
    } else {
      entry.has_equals = true;
      entry.key = TrimBlanks(line.substr(0, eq));
      entry.value = TrimBlanks(line.substr(eq + 1));
    }
    current->lines.push_back(entry);
  }
}

std::string IniDocument::Serialize() const {
  std::string out;
  for (const Section& section : sections_) {
    if (section.has_header) out += "[" + section.name + "]\n";
    for (const Line& line : section.lines) {
      out += line.has_equals ? line.key + "=" + line.value : line.text;
      out += '\n';
    }
  }
  return out;
}

IniDocument::Section* IniDocument::FindSection(const std::string& name) {
  for (Section& section : sections_) {
    if (section.has_header && EqualsNoCase(section.name, name)) return &section;
  }
  return nullptr;
}

const IniDocument::Section* IniDocument::FindSection(const std::string& name) const {
  for (const Section& section : sections_) {
    if (section.has_header && EqualsNoCase(section.name, name)) return &section;
  }
  return nullptr;
}

std::optional<std::string> IniDocument::Get(const std::string& section,
                                            const std::string& key) const {
  const Section* found = FindSection(section);
  if (found == nullptr) return std::nullopt;
  for (const Line& line : found->lines) {
    if (line.has_equals && EqualsNoCase(line.key, key)) return line.value;
  }
  return std::nullopt;
}

std::string IniDocument::GetString(const std::string& section, const std::string& key,
                                   const std::string& default_value) const {
  return Get(section, key).value_or(default_value);
}

int32_t IniDocument::GetInteger(const std::string& section, const std::string& key,
                                int32_t default_value) const {
  std::optional<std::string> text = Get(section, key);
  int32_t value = 0;
  return text && ParseInt32(*text, &value) ? value : default_value;
}

bool IniDocument::GetBool(const std::string& section, const std::string& key,
                          bool default_value) const {
  std::optional<std::string> text = Get(section, key);
  int32_t value = 0;
  return text && ParseInt32(*text, &value) ? value != 0 : default_value;
}

void IniDocument::Set(const std::string& section, const std::string& key,
                      const std::string& value) {
  Section* found = FindSection(section);
  if (found == nullptr) {
    sections_.push_back(Section{section, true, {}});
    found = &sections_.back();
  }
  for (Line& line : found->lines) {
    if (line.has_equals && EqualsNoCase(line.key, key)) {
      line.value = value;
      return;
    }
  }
  Line entry;
  entry.has_equals = true;
  entry.key = key;
  entry.value = value;
  found->lines.push_back(entry);
}

int IniDocument::Remove(const std::string& section, const std::string& key) {
  Section* found = FindSection(section);
  if (found == nullptr) return 0;
  std::vector<Line>& lines = found->lines;
  const size_t before = lines.size();
  lines.erase(std::remove_if(lines.begin(), lines.end(),
                             [&key](const Line& line) {
                               return line.has_equals && EqualsNoCase(line.key, key);
                             }),
              lines.end());
  return static_cast<int>(before - lines.size());
}

bool IniDocument::SectionLines(const std::string& section, TextList* lines) const {
  const Section* found = FindSection(section);
  if (found == nullptr) return false;
  for (const Line& line : found->lines) {
    lines->push_back(line.has_equals ? line.key + "=" + line.value : line.text);
  }
  return true;
}

TextList IniDocument::SectionNames() const {
  TextList names;
  for (const Section& section : sections_) {
    if (section.has_header) names.push_back(section.name);
  }
  return names;
}

bool IsStorableEntry(const std::string& section, const std::string& key, const std::string& value) {
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
  if (key.find('=') != std::string::npos) return false;
  std::string trimmed = TrimBlanks(key);
  return trimmed.empty() || (trimmed[0] != ';' && trimmed[0] != '[');
}

bool LoadIniFile(const std::string& path, IniDocument* doc) {
  std::string contents;
  int error = ReadWholeFile(path, &contents);
  if (error == ENOENT || error == ENOTDIR) {
    doc->Parse("");
    return true;
  }
  if (error != 0) return false;
  doc->Parse(contents);
  return true;
}

bool SaveIniFile(const std::string& path, const IniDocument& doc) {
  int error = ReplaceFile(path, doc.Serialize());
  if (error == 0) return true;
  errno = error;
  return false;
}

std::string ReadIniString(const std::string& section, const std::string& key,
                          const std::string& default_value, const std::string& path) {
  IniDocument doc;
  if (!LoadIniFile(path, &doc)) return default_value;
  return doc.GetString(section, key, default_value);
}

int32_t ReadIniInteger(const std::string& section, const std::string& key, int32_t default_value,
                       const std::string& path) {
  IniDocument doc;
  if (!LoadIniFile(path, &doc)) return default_value;
  return doc.GetInteger(section, key, default_value);
}

bool ReadIniBool(const std::string& section, const std::string& key, bool default_value,
                 const std::string& path) {
  IniDocument doc;
  if (!LoadIniFile(path, &doc)) return default_value;
  return doc.GetBool(section, key, default_value);
}

std::optional<std::string> ReadIniValue(const std::string& path, const std::string& section,
                                        const std::string& key) {
  IniDocument doc;
  if (!LoadIniFile(path, &doc)) return std::nullopt;
  return doc.Get(section, key).value_or("");
}

bool WriteIniString(const std::string& section, const std::string& key, const std::string& value,
                    const std::string& path) {
  if (!IsStorableEntry(section, key, value)) return false;
  IniDocument doc;
  // Rewriting a file that could not be read would replace it by the one new
  // entry and lose everything else.
  if (!LoadIniFile(path, &doc)) return false;
  doc.Set(section, key, value);
  return SaveIniFile(path, doc);
}

bool ReadIniSection(const std::string& path, const std::string& section, TextList* lines) {
  lines->clear();
  IniDocument doc;
  if (!LoadIniFile(path, &doc)) return false;
  doc.SectionLines(section, lines);
  return !lines->empty();
}
