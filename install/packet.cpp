// Reading the install packet. The packet is an ordinary settings file whose
// module sections are plain lines rather than entries, so sections are read
// whole and each line is taken apart here.
#include "install/packet.h"

#include "common/ini.h"

std::string ReplaceLanguage(const std::string& text, const std::string& language) {
  std::string result;
  for (char c : text) {
    if (c == '$') {
      result += language;
    } else {
      result += c;
    }
  }
  return result;
}

bool ParseFileLine(const std::string& line, const std::string& language, TFileLine* file) {
  TTextList fields;
  SplitToList('|', ReplaceLanguage(line, language), &fields, true);
  if (fields.size() != 3) return false;
  file->source = fields[0];
  file->destination = fields[1];
  file->mode = fields[2];
  // A damaged or forged packet must not make root copy or chmod anything
  // outside the installation directory.
  return IsSafeDestination(file->destination);
}

bool IsSafeDestination(const std::string& destination) {
  if (destination.empty() || destination.front() == '/' || destination.back() == '/') return false;
  TTextList parts;
  SplitToList('/', destination, &parts, false);
  for (const std::string& part : parts) {
    if (part == "..") return false;
  }
  return parts.empty() || parts.back() != ".";
}

std::string FileNamePart(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ReadPacketSection(const std::string& packet_path, const std::string& section,
                       TTextList* lines) {
  return ReadIniSection(packet_path, section, lines);
}
