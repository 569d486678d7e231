// A throw-away installation tree for the real console: a copy of the built
// `wkcfg` in bin/, the suite settings beside it, the shipped language file,
// model database and default events, and the configuration under test.
#ifndef VOLTMON_TESTS_SUPPORT_CONSOLE_TREE_H_
#define VOLTMON_TESTS_SUPPORT_CONSOLE_TREE_H_

#include <string>

class ConsoleTree {
 public:
  // `root` is an existing empty directory (no trailing "/").
  explicit ConsoleTree(const std::string& root) : root_(root + "/") {}

  // The installation directory with trailing "/".
  const std::string& root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + relative; }
  std::string Program() const { return Path("bin/wkcfg"); }
  std::string ConfigPath() const { return Path("bin/wksrv.cfg"); }

  // Lays out bin/wkcfg (a copy of `wkcfg_binary`), bin/voltmon.cfg,
  // languages/english.lng, bin/upsdb.ups and bin/defevent.evn from the
  // built packet in `packet_dir`, and bin/wksrv.cfg holding `config` (left
  // out when `config` is empty). False with `*error` set.
  bool Build(const std::string& wkcfg_binary, const std::string& packet_dir,
             const std::string& config, std::string* error) const;

 private:
  std::string root_;
};

// A "bin/wksrv.cfg" with the model `model` chosen and `extra` lines (each
// ending in "\n") added to its section; the console then shows its full
// main menu.
std::string ServerConfig(const std::string& model, const std::string& extra = "");

#endif  // VOLTMON_TESTS_SUPPORT_CONSOLE_TREE_H_
