// A throw-away installation tree for a real console: the master's (a copy of
// the built `wkcfg` in bin/ with the shipped model database and default
// events) or the slave module's (a copy of `qscfg` with the shipped scripts
// in script/system/), either with the suite settings beside it, the shipped
// language file and the configuration under test.
#ifndef VOLTMON_TESTS_SUPPORT_CONSOLE_TREE_H_
#define VOLTMON_TESTS_SUPPORT_CONSOLE_TREE_H_

#include <string>

enum class TConsoleKind { kMaster, kSlave };

class TConsoleTree {
 public:
  // `root` is an existing empty directory (no trailing "/").
  explicit TConsoleTree(const std::string& root, TConsoleKind kind = TConsoleKind::kMaster)
      : root_(root + "/"), kind_(kind) {}

  // The installation directory with trailing "/".
  const std::string& root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + relative; }
  TConsoleKind kind() const { return kind_; }
  std::string Program() const;
  std::string ConfigPath() const;

  // Lays out the program (a copy of `binary`), bin/voltmon.cfg,
  // languages/english.lng and the kind's data from the built packet in
  // `packet_dir`, and the configuration file holding `config` (left out when
  // `config` is empty). False with `*error` set.
  bool Build(const std::string& binary, const std::string& packet_dir, const std::string& config,
             std::string* error) const;

 private:
  std::string root_;
  TConsoleKind kind_;
};

// A "bin/wksrv.cfg" with the model `model` chosen and `extra` lines (each
// ending in "\n") added to its section; the console then shows its full
// main menu.
std::string ServerConfig(const std::string& model, const std::string& extra = "");

// A "bin/qslx.cfg" that the daemon loads: master 127.0.0.1, port 6005 and
// the tree's own copies of the shipped scripts, with `extra` lines in front
// (the first of two equal keys counts).
std::string SlaveConfig(const TConsoleTree& tree, const std::string& extra = "");

#endif  // VOLTMON_TESTS_SUPPORT_CONSOLE_TREE_H_
