// The suite settings file and the start-up resolution that the daemon and
// the console share: program directory, installation directory, language
// file. All paths are plain concatenations; no separator is ever inserted.
#include "common/settings.h"

#include <unistd.h>

#include "common/files.h"
#include "common/ini.h"

namespace {

const char kGlobals[] = "Globals";

}  // namespace

std::string GetInstallPath(const std::string& program_dir) {
  return ReadIniString(kGlobals, "InstallPath", "", program_dir + "voltmon.cfg");
}

std::string GetLanguageFile(const std::string& install_path) {
  std::string name = ReadIniString(kGlobals, "LanguageFile", "", install_path + "bin/voltmon.cfg");
  // An empty name would test the languages directory itself.
  if (name.empty() || !PathExists(install_path + "languages/" + name)) return "";
  return name;
}

std::string ProgramDirectory(const char* argv0) {
  std::string buffer(256, '\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    ssize_t n = readlink("/proc/self/exe", &buffer[0], buffer.size());
    if (n < 0) break;
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      size_t slash = buffer.rfind('/');
      if (slash != std::string::npos) return buffer.substr(0, slash + 1);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  std::string path = argv0 != nullptr ? argv0 : "";
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "./";
  return path.substr(0, slash + 1);
}

bool ResolveSuiteSettings(const std::string& program_dir, std::string* install_path,
                          std::string* language_file) {
  install_path->clear();
  language_file->clear();
  std::string install = GetInstallPath(program_dir);
  if (install.empty()) return false;
  *install_path = install;
  std::string language = GetLanguageFile(install);
  if (language.empty()) return false;
  *language_file = install + "languages/" + language;
  return true;
}
