// Section "Master" of "bin/wksrv.cfg": the NUT side of the master server,
// which the console neither shows nor writes. Read once at start, in one
// reading of the file, with the console's rules for passwords.
#include "wksrv/master_settings.h"

#include "common/ini.h"
#include "common/scramble.h"
#include "common/text.h"

namespace {

const char kSection[] = "Master";

// A blank value would name no UPS or no command at all: the default serves.
void TakeUnlessBlank(const TIniDocument& doc, const char* key, std::string* field) {
  std::string value = TrimBlanks(doc.GetString(kSection, key, ""));
  if (!value.empty()) *field = value;
}

}  // namespace

void LoadMasterSettings(const std::string& path, TMasterSettings* out) {
  TIniDocument doc;
  if (LoadIniFile(path, &doc) != 0) return;
  TakeUnlessBlank(doc, "NutUps", &out->NutUps);
  out->NutUser = doc.GetString(kSection, "NutUser", out->NutUser);
  if (std::optional<std::string> scrambled = doc.Get(kSection, "NutPassword")) {
    out->NutPassword = Descramble(*scrambled);
  }
  TakeUnlessBlank(doc, "ShutdownCommand", &out->ShutdownCommand);
}

bool NutUpsWellFormed(const std::string& ups) {
  if (ups.empty() || ups.find_first_of(" \t\r\n") != std::string::npos) return false;
  const size_t at = ups.find('@');
  if (at == std::string::npos) return true;
  const std::string host = ups.substr(at + 1);
  return at > 0 && !host.empty() && host[0] != ':' && host.find('@') == std::string::npos;
}
