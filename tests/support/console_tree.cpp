// Builds the console's test installation from what the build made, so that
// the system tests run the program and the data the packet ships.
#include "tests/support/console_tree.h"

#include <vector>

#include "tests/support/temp_dir.h"

namespace {

const char* const kSlaveScripts[] = {"shutdown.sh", "message.sh", "custom1.sh",
                                     "custom2.sh",  "custom3.sh", "chkfail.sh"};

}  // namespace

std::string TConsoleTree::Program() const {
  return Path(kind_ == TConsoleKind::kMaster ? "bin/wkcfg" : "bin/qscfg");
}

std::string TConsoleTree::ConfigPath() const {
  return Path(kind_ == TConsoleKind::kMaster ? "bin/wksrv.cfg" : "bin/qslx.cfg");
}

bool TConsoleTree::Build(const std::string& binary, const std::string& packet_dir,
                         const std::string& config, std::string* error) const {
  struct TCopy {
    std::string from, to;
    mode_t mode;
  };
  std::vector<TCopy> copies = {
      {binary, Program().substr(root_.size()), 0755},
      {packet_dir + "/languages/english.lng", "languages/english.lng", 0644},
  };
  if (kind_ == TConsoleKind::kMaster) {
    copies.push_back({packet_dir + "/bin/upsdb.ups", "bin/upsdb.ups", 0644});
    copies.push_back({packet_dir + "/bin/defevent.evn", "bin/defevent.evn", 0644});
  } else {
    for (const char* script : kSlaveScripts) {
      const std::string relative = std::string("script/system/") + script;
      copies.push_back({packet_dir + "/" + relative, relative, 0755});
    }
  }
  for (const TCopy& copy : copies) {
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

std::string SlaveConfig(const TConsoleTree& tree, const std::string& extra) {
  std::string config = "[QS System]\n" + extra + "AdrCount=1\nAdr0=127.0.0.1\nListenPort=6005\n";
  const char* const keys[] = {"ScriptShutdown", "ScriptMessage", "ScriptCustom_1", "ScriptCustom_2",
                              "ScriptCustom_3"};
  for (size_t i = 0; i < 5; ++i)
    config += std::string(keys[i]) + "=" + tree.Path("script/system/") + kSlaveScripts[i] + "\n";
  return config;
}
