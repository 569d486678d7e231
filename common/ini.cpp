// The suite's INI dialect: parsing into an in-memory document that keeps
// every line, written back with only the values set changed, and the
// one-shot routines every program reads and writes its settings through. A
// write replaces the file by rename, so a reader (or a crash) never sees a
// half-written settings file; a read never writes.
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

std::string LowerText(std::string text) {
  for (char& c : text) c = LowerAscii(c);
  return text;
}

// An entry's line up to its value: key, "=" and the blanks after it, as
// written, so that setting a value changes nothing else on the line.
std::string EntryHead(const std::string& raw) {
  const size_t eq = raw.find('=');
  const size_t value = raw.find_first_not_of(" \t", eq + 1);
  return raw.substr(0, value == std::string::npos ? eq + 1 : value);
}

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

void TIniDocument::Parse(const std::string& text) {
  lines_.clear();
  names_.clear();
  index_.clear();
  int current = -1;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const size_t next = end == std::string::npos ? text.size() : end + 1;
    if (end == std::string::npos) end = text.size();
    TLine line;
    if (end > start && text[end - 1] == '\r') {
      line.crlf = true;
      --end;
    }
    line.raw = text.substr(start, end - start);
    start = next;
    const std::string trimmed = TrimLine(line.raw);
    line.section = current;
    if (trimmed.empty() || trimmed[0] == ';') {
      line.kind = TKind::kIgnored;
    } else if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
      // A section that appears twice is one section: its entries are merged
      // so that none becomes unreachable.
      const std::string name = TrimBlanks(trimmed.substr(1, trimmed.size() - 2));
      current = FindSection(name);
      if (current < 0) current = AddSection(name);
      line.kind = TKind::kHeader;
      line.section = current;
    } else {
      const size_t eq = trimmed.find('=');
      if (eq == std::string::npos) {
        line.kind = TKind::kText;
        line.text = trimmed;
      } else {
        line.kind = TKind::kEntry;
        line.key = TrimBlanks(trimmed.substr(0, eq));
        line.value = TrimBlanks(trimmed.substr(eq + 1));
      }
    }
    lines_.push_back(std::move(line));
  }
}

std::string TIniDocument::Serialize() const {
  size_t size = 0;
  for (const TLine& line : lines_) size += line.raw.size() + 2;
  std::string out;
  out.reserve(size);
  for (const TLine& line : lines_) {
    out += line.raw;
    out += line.crlf ? "\r\n" : "\n";
  }
  return out;
}

int TIniDocument::FindSection(const std::string& name) const {
  auto found = index_.find(LowerText(name));
  return found == index_.end() ? -1 : found->second;
}

int TIniDocument::AddSection(const std::string& name) {
  names_.push_back(name);
  const int index = static_cast<int>(names_.size()) - 1;
  index_.emplace(LowerText(name), index);
  return index;
}

std::optional<std::string> TIniDocument::Get(const std::string& section,
                                             const std::string& key) const {
  const int found = FindSection(section);
  if (found < 0) return std::nullopt;
  for (const TLine& line : lines_) {
    if (line.section == found && line.kind == TKind::kEntry && EqualsNoCase(line.key, key))
      return line.value;
  }
  return std::nullopt;
}

std::string TIniDocument::GetString(const std::string& section, const std::string& key,
                                    const std::string& default_value) const {
  return Get(section, key).value_or(default_value);
}

int32_t TIniDocument::GetInteger(const std::string& section, const std::string& key,
                                 int32_t default_value) const {
  std::optional<std::string> text = Get(section, key);
  int32_t value = 0;
  return text && ParseInt32(*text, &value) ? value : default_value;
}

bool TIniDocument::GetBool(const std::string& section, const std::string& key,
                           bool default_value) const {
  std::optional<std::string> text = Get(section, key);
  int32_t value = 0;
  return text && ParseInt32(*text, &value) ? value != 0 : default_value;
}

void TIniDocument::Set(const std::string& section, const std::string& key,
                       const std::string& value) {
  int found = FindSection(section);
  // New lines end as the line before them does.
  const bool crlf = !lines_.empty() && lines_.back().crlf;
  if (found < 0) {
    found = AddSection(section);
    TLine header;
    header.kind = TKind::kHeader;
    header.raw = "[" + section + "]";
    header.crlf = crlf;
    header.section = found;
    lines_.push_back(std::move(header));
  }
  size_t after = lines_.size();  // the line the new entry follows
  for (size_t i = 0; i < lines_.size(); ++i) {
    TLine& line = lines_[i];
    if (line.section != found) continue;
    if (line.kind == TKind::kEntry && EqualsNoCase(line.key, key)) {
      line.value = value;
      line.raw = EntryHead(line.raw) + value;
      return;
    }
    if (line.kind != TKind::kIgnored) after = i;
  }
  TLine entry;
  entry.kind = TKind::kEntry;
  entry.raw = key + "=" + value;
  entry.crlf = lines_[after].crlf;
  entry.section = found;
  entry.key = key;
  entry.value = value;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(after) + 1, std::move(entry));
}

int TIniDocument::Remove(const std::string& section, const std::string& key) {
  const int found = FindSection(section);
  if (found < 0) return 0;
  const size_t before = lines_.size();
  lines_.erase(std::remove_if(lines_.begin(), lines_.end(),
                              [found, &key](const TLine& line) {
                                return line.section == found && line.kind == TKind::kEntry &&
                                       EqualsNoCase(line.key, key);
                              }),
               lines_.end());
  return static_cast<int>(before - lines_.size());
}

bool TIniDocument::SectionLines(const std::string& section, TTextList* lines) const {
  const int found = FindSection(section);
  if (found < 0) return false;
  for (const TLine& line : lines_) {
    if (line.section != found) continue;
    if (line.kind == TKind::kEntry) lines->push_back(line.key + "=" + line.value);
    if (line.kind == TKind::kText) lines->push_back(line.text);
  }
  return true;
}

TTextList TIniDocument::SectionNames() const {
  return names_;
}

bool IsStorableEntry(const std::string& section, const std::string& key, const std::string& value) {
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
  if (key.find('=') != std::string::npos) return false;
  std::string trimmed = TrimBlanks(key);
  return trimmed.empty() || (trimmed[0] != ';' && trimmed[0] != '[');
}

int LoadIniFile(const std::string& path, TIniDocument* doc) {
  std::string contents;
  const int error = ReadWholeFile(path, &contents);
  if (error == ENOENT || error == ENOTDIR) {
    doc->Parse("");
    return 0;
  }
  if (error != 0) return error;
  doc->Parse(contents);
  return 0;
}

int SaveIniFile(const std::string& path, const TIniDocument& doc, bool* in_place) {
  return ReplaceFile(path, doc.Serialize(), TLinkAtName::kReplaceTarget, in_place);
}

std::string ReadIniString(const std::string& section, const std::string& key,
                          const std::string& default_value, const std::string& path) {
  TIniDocument doc;
  if (LoadIniFile(path, &doc) != 0) return default_value;
  return doc.GetString(section, key, default_value);
}

int32_t ReadIniInteger(const std::string& section, const std::string& key, int32_t default_value,
                       const std::string& path) {
  TIniDocument doc;
  if (LoadIniFile(path, &doc) != 0) return default_value;
  return doc.GetInteger(section, key, default_value);
}

bool ReadIniBool(const std::string& section, const std::string& key, bool default_value,
                 const std::string& path) {
  TIniDocument doc;
  if (LoadIniFile(path, &doc) != 0) return default_value;
  return doc.GetBool(section, key, default_value);
}

std::optional<std::string> ReadIniValue(const std::string& path, const std::string& section,
                                        const std::string& key) {
  TIniDocument doc;
  if (LoadIniFile(path, &doc) != 0) return std::nullopt;
  return doc.Get(section, key).value_or("");
}

int WriteIniString(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& path) {
  if (!IsStorableEntry(section, key, value)) return EINVAL;
  TIniDocument doc;
  // Rewriting a file that could not be read would replace it by the one new
  // entry and lose everything else.
  const int error = LoadIniFile(path, &doc);
  if (error != 0) return error;
  doc.Set(section, key, value);
  return SaveIniFile(path, doc);
}

bool ReadIniSection(const std::string& path, const std::string& section, TTextList* lines) {
  lines->clear();
  TIniDocument doc;
  if (LoadIniFile(path, &doc) != 0) return false;
  doc.SectionLines(section, lines);
  return !lines->empty();
}
