// The one INI dialect of every settings file of the suite, and its one-shot
// access routines: each call opens the file, does one thing and closes it.
//
// Dialect: "[Name]" opens a section; "Key=Value" is an entry; blanks around
// the key, around "=" and at both ends of a line are ignored; empty lines and
// lines starting with ";" are ignored; section and key names compare without
// regard to case. A line without "=" inside a section belongs to it as it is
// (trimmed) and is returned by whole-section reads.
#ifndef VOLTMON_COMMON_INI_H_
#define VOLTMON_COMMON_INI_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/text.h"

// A settings file held in memory, in file order. Pure: no file access.
class IniDocument {
 public:
  // Replaces the contents by those parsed from `text`.
  void Parse(const std::string& text);
  // The normalised form: each section as its header line followed by its
  // lines, "Key=Value" for entries, each line ended by a line feed.
  std::string Serialize() const;

  // The value of the first entry `key` in section `section`; nullopt when the
  // section or key is missing.
  std::optional<std::string> Get(const std::string& section, const std::string& key) const;
  // The value, or `default_value` when missing.
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& default_value) const;
  // The value as a 32-bit signed integer; the default when missing, not an
  // integer or outside 32 bits. An integer is decimal digits with an
  // optional "+" or "-"; blanks inside it make it no integer.
  int32_t GetInteger(const std::string& section, const std::string& key,
                     int32_t default_value) const;
  // The value read as an integer, 0 false and any other number true; the
  // default when missing or not an integer.
  bool GetBool(const std::string& section, const std::string& key, bool default_value) const;
  // Sets the entry, appending the key (and the section) when missing.
  void Set(const std::string& section, const std::string& key, const std::string& value);
  // Removes every entry `key` of the section, so that no later duplicate
  // comes to light; the number removed.
  int Remove(const std::string& section, const std::string& key);
  // The section's lines in file order: entries as "Key=Value", other lines
  // unchanged; false when the section is missing.
  bool SectionLines(const std::string& section, TextList* lines) const;
  // The names of the sections in file order.
  TextList SectionNames() const;

 private:
  struct Line {
    std::string key;  // empty for a line without "="
    std::string value;
    bool has_equals = false;
    std::string text;  // the trimmed line, used when !has_equals
  };
  struct Section {
    std::string name;
    // False only for the lines before the first header, kept so that a
    // rewrite loses nothing; they are not reachable by name.
    bool has_header = true;
    std::vector<Line> lines;
  };
  Section* FindSection(const std::string& name);
  const Section* FindSection(const std::string& name) const;
  std::vector<Section> sections_;
};

// True when writing the entry cannot corrupt the file: no line break in any
// of the three, and a key without "=" that does not start (after blanks)
// with ";" or "[", which would make its line read back as a comment or a
// section header.
bool IsStorableEntry(const std::string& section, const std::string& key, const std::string& value);

// Reads `path` into `doc`. A missing file reads as empty and succeeds; false
// when the file exists but cannot be opened or read.
bool LoadIniFile(const std::string& path, IniDocument* doc);

// Writes `doc` to `path` atomically: a new file beside the old one, synced to
// disk, then renamed over it, keeping the old file's owner and mode (a new
// file gets 0644); a symbolic link stays and its target is replaced. False
// on failure, the old file untouched and no temporary file left.
bool SaveIniFile(const std::string& path, const IniDocument& doc);

// The value, or `default_value` when the key is missing or on any error.
std::string ReadIniString(const std::string& section, const std::string& key,
                          const std::string& default_value, const std::string& path);

// The value as IniDocument::GetInteger reads it; the default also on any
// error.
int32_t ReadIniInteger(const std::string& section, const std::string& key, int32_t default_value,
                       const std::string& path);

// The value as IniDocument::GetBool reads it; the default also on any error.
bool ReadIniBool(const std::string& section, const std::string& key, bool default_value,
                 const std::string& path);

// The value, or the empty text when the key is missing; nullopt when the
// file exists but cannot be read. Note the file comes first.
std::optional<std::string> ReadIniValue(const std::string& path, const std::string& section,
                                        const std::string& key);

// Sets one entry and rewrites the file (created when missing). False when the
// file cannot be saved, for example when its directory does not exist, or
// when the names or the value could not be read back as written (see
// IsStorableEntry); the file is then untouched.
bool WriteIniString(const std::string& section, const std::string& key, const std::string& value,
                    const std::string& path);

// Empties `lines` and fills it with the section's lines (see SectionLines);
// true when it then holds at least one line.
bool ReadIniSection(const std::string& path, const std::string& section, TextList* lines);

#endif  // VOLTMON_COMMON_INI_H_
