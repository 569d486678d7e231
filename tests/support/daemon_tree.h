// A throw-away installation tree for the daemon: its program, suite settings,
// a test language file with distinct texts, its configuration and recorder
// scripts that note every start.
#ifndef VOLTMON_TESTS_SUPPORT_DAEMON_TREE_H_
#define VOLTMON_TESTS_SUPPORT_DAEMON_TREE_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// "bin/qslx.cfg" entries of section "QS System", written in this order.
using TConfigEntries = std::vector<std::pair<std::string, std::string>>;

// Sets `key` (replacing an entry of the same name) or appends it.
void SetEntry(TConfigEntries* entries, const std::string& key, const std::string& value);
void EraseEntry(TConfigEntries* entries, const std::string& key);

// The texts of languages/test.lng, each distinct so that a log line tells
// which event wrote it. Event texts by key of section "QSSRV".
extern const char kTestLanguage[];

// One start of a recorder script.
struct TScriptRun {
  int argc = -1;
  std::vector<std::string> args;
  uint64_t blocked = 0;  // the SigBlk mask, bit n-1 for signal n
  std::string cwd;
  std::vector<std::string> fds;  // targets of the open descriptors above 2
};

class TDaemonTree {
 public:
  // `root` is an existing empty directory (no trailing "/").
  explicit TDaemonTree(const std::string& root) : root_(root + "/") {}

  // The installation directory with trailing "/".
  const std::string& root() const { return root_; }
  std::string Program() const { return root_ + "bin/qslx"; }
  std::string ConfigPath() const { return root_ + "bin/qslx.cfg"; }
  std::string SuiteSettingsPath() const { return root_ + "bin/voltmon.cfg"; }
  std::string LogPath() const { return root_ + "data/qs_log.txt"; }
  std::string Script(const std::string& name) const { return root_ + "script/system/" + name; }
  // Where the recorder `name` notes its starts (outside data/, so that tests
  // may remove that directory).
  std::string RecordPath(const std::string& name) const { return root_ + "rec/" + name + ".rec"; }

  // The configuration a working daemon needs: master 127.0.0.1, the given
  // listen port, every script a recorder, the alive check off.
  TConfigEntries DefaultConfig(uint16_t port) const;

  // Lays out bin/ (with a copy of `qslx_binary`), bin/voltmon.cfg,
  // languages/test.lng, data/, script/system/ with the recorders
  // shutdown.sh, message.sh, custom1.sh, custom2.sh, custom3.sh and
  // chkfail.sh, and bin/qslx.cfg from `config`. False with `*error` set.
  bool Build(const std::string& qslx_binary, const TConfigEntries& config,
             std::string* error) const;

  // Rewrites bin/qslx.cfg.
  bool WriteConfig(const TConfigEntries& config) const;

  // Writes a recorder script at `path` noting its starts in `record_path`.
  static bool WriteRecorder(const std::string& path, const std::string& record_path);

  // The starts the recorder `name` noted, in order.
  std::vector<TScriptRun> Runs(const std::string& name) const;

 private:
  std::string root_;
};

// The starts noted in a record file.
std::vector<TScriptRun> ReadScriptRuns(const std::string& record_path);

// A well-formed daemon log line "dd/MM/yyyy hh:mm:ss  text" gives its text;
// false for any other line.
bool ParseLogLine(const std::string& line, std::string* text);

#endif  // VOLTMON_TESTS_SUPPORT_DAEMON_TREE_H_
