// The one INI dialect of every settings file of the suite, and its one-shot
// access routines: each call opens the file, does one thing and closes it.
//
// Dialect: "[Name]" opens a section; "Key=Value" is an entry; blanks around
// the key, around "=" and at both ends of a line are ignored; empty lines and
// lines starting with ";" are ignored when read and kept when written;
// section and key names compare without regard to case. A line without "="
// inside a section belongs to it as it is (trimmed) and is returned by
// whole-section reads.
#ifndef VOLTMON_COMMON_INI_H_
#define VOLTMON_COMMON_INI_H_

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/text.h"

// A settings file held in memory, every line in file order. Pure: no file
// access. Lines it is not asked to change (comments, blank lines, the
// spelling of keys and blanks, other sections) are written back as read.
class TIniDocument {
 public:
  // Replaces the contents by those parsed from `text`.
  void Parse(const std::string& text);
  // Every line as read, each ended as it was (line feed, or carriage return
  // and line feed), the last one too; an entry set since as its old text up
  // to the value, then the new value; an entry added as "Key=Value".
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
  // Sets the value of the first entry `key`; a missing key goes after the
  // last entry (or line without "=") of its section, or after its header
  // when it has none; a missing section is appended at the end.
  void Set(const std::string& section, const std::string& key, const std::string& value);
  // Removes every entry `key` of the section, so that no later duplicate
  // comes to light; the number removed.
  int Remove(const std::string& section, const std::string& key);
  // The section's lines in file order: entries as "Key=Value", other lines
  // trimmed, comments and blank lines left out; false when the section is
  // missing. A section whose header comes twice is one section.
  bool SectionLines(const std::string& section, TTextList* lines) const;
  // The names of the sections in the order they first appear.
  TTextList SectionNames() const;

 private:
  enum class TKind { kIgnored, kHeader, kEntry, kText };
  struct TLine {
    TKind kind = TKind::kIgnored;  // kIgnored: a blank line or a comment
    std::string raw;               // as read, without its line end
    bool crlf = false;             // ended by carriage return and line feed
    // Index into names_; -1 for lines before the first header.
    int section = -1;
    std::string key;    // kEntry
    std::string value;  // kEntry
    std::string text;   // kText: the trimmed line
  };
  int FindSection(const std::string& name) const;
  int AddSection(const std::string& name);
  std::vector<std::string> names_;
  std::unordered_map<std::string, int> index_;  // lower-case name to index
  std::vector<TLine> lines_;
};

// True when writing the entry cannot corrupt the file: no line break in any
// of the three, and a key without "=" that does not start (after blanks)
// with ";" or "[", which would make its line read back as a comment or a
// section header.
bool IsStorableEntry(const std::string& section, const std::string& key, const std::string& value);

// Reads `path` into `doc`. A missing file reads as empty and succeeds. 0, or
// the error number when the file exists but cannot be opened or read, or is
// refused by the bounded reader (ReadWholeFile; see FileErrorText).
int LoadIniFile(const std::string& path, TIniDocument* doc);

// Writes `doc` to `path` atomically: a new file beside the old one, synced to
// disk, then renamed over it, keeping the old file's owner and mode (a new
// file gets 0644); a symbolic link stays and its target is replaced. 0, or
// the error number (see FileErrorText), the old file then untouched and no
// temporary file left. `in_place`: see ReplaceFile.
int SaveIniFile(const std::string& path, const TIniDocument& doc, bool* in_place = nullptr);

// The value, or `default_value` when the key is missing or on any error.
std::string ReadIniString(const std::string& section, const std::string& key,
                          const std::string& default_value, const std::string& path);

// The value as TIniDocument::GetInteger reads it; the default also on any
// error.
int32_t ReadIniInteger(const std::string& section, const std::string& key, int32_t default_value,
                       const std::string& path);

// The value as TIniDocument::GetBool reads it; the default also on any error.
bool ReadIniBool(const std::string& section, const std::string& key, bool default_value,
                 const std::string& path);

// The value, or the empty text when the key is missing; nullopt when the
// file exists but cannot be read. Note the file comes first.
std::optional<std::string> ReadIniValue(const std::string& path, const std::string& section,
                                        const std::string& key);

// Sets one entry and rewrites the file (created when missing). 0, or the
// error number when the file cannot be read or saved (for example ENOENT
// when its directory does not exist), EINVAL when the names or the value
// could not be read back as written (see IsStorableEntry); the file is then
// untouched.
int WriteIniString(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& path);

// Empties `lines` and fills it with the section's lines (see SectionLines);
// true when it then holds at least one line.
bool ReadIniSection(const std::string& path, const std::string& section, TTextList* lines);

#endif  // VOLTMON_COMMON_INI_H_
