// Builds the console's test installation from what the build made, so that
// the system tests run the program and the data the packet ships.
#include "tests/support/console_tree.h"

#include "tests/support/temp_dir.h"

bool ConsoleTree::Build(const std::string& wkcfg_binary, const std::string& packet_dir,
                        const std::string& config, std::string* error) const {
  struct Copy {
    std::string from, to;
    mode_t mode;
  };
  const Copy copies[] = {
      {wkcfg_binary, "bin/wkcfg", 0755},
      {packet_dir + "/languages/english.lng", "languages/english.lng", 0644},
      {packet_dir + "/bin/upsdb.ups", "bin/upsdb.ups", 0644},
      {packet_dir + "/bin/defevent.evn", "bin/defevent.evn", 0644},
  };
  for (const Copy& copy : copies) {
    const std::string text = ReadFile(copy.from);
    if (text.empty() || !WriteFile(Path(copy.to), text, copy.mode)) {
      *error = "cannot copy " + copy.from + " to " + Path(copy.to);
      return false;
    }
  }
  if (!WriteFile(Path("bin/voltmon.cfg"),
                 "[Globals]\nInstallPath=" + root_ + "\nLanguageFile=english.lng\n") ||
      !MakeDirs(Path("data"))) {
    *error = "cannot write the suite settings below " + root_;
    return false;
  }
  if (!config.empty() && !WriteFile(ConfigPath(), config)) {
    *error = "cannot write " + ConfigPath();
    return false;
  }
  return true;
}

std::string ServerConfig(const std::string& model, const std::string& extra) {
  return "[Wattkeep]\nUpsModelName=" + model + "\n" + extra;
}
