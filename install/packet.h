// The install packet "install.dat": its sections and the file lines that
// say what to copy where, with which permission.
#ifndef VOLTMON_INSTALL_PACKET_H_
#define VOLTMON_INSTALL_PACKET_H_

#include <string>

#include "common/text.h"

// One file line "source|destination|mode" taken apart.
struct TFileLine {
  std::string source;       // relative to the installer's directory
  std::string destination;  // relative to the installation directory
  std::string mode;         // "e", "w", or anything else for read-only
};

// Every "$" of `text` replaced by `language`.
std::string ReplaceLanguage(const std::string& text, const std::string& language);

// Replaces "$" by `language` and splits the line at "|" with its fields
// trimmed. False unless exactly three fields result (an empty last field is
// dropped, so "a|b|" has two) and the destination is safe (below).
bool ParseFileLine(const std::string& line, const std::string& language, TFileLine* file);

// True when `destination` names a file below the installation directory: not
// empty, not absolute, no ".." component, and not ending in "/" or "." (which
// would name a directory, the installation directory itself included).
bool IsSafeDestination(const std::string& destination);

// The part of `path` after its last "/" (the whole path when it has none).
std::string FileNamePart(const std::string& path);

// Empties `lines` and fills them with the section's lines of the packet at
// `packet_path`. True when at least one line was read; false when the
// section is missing or empty or the packet cannot be read.
bool ReadPacketSection(const std::string& packet_path, const std::string& section,
                       TTextList* lines);

#endif  // VOLTMON_INSTALL_PACKET_H_
