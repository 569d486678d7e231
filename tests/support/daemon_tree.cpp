// Installation trees for the daemon's system tests. The recorder scripts are
// plain sh: each start appends one line with its argument count, its
// arguments, its blocked-signal mask, its working directory and its open
// descriptors, written with a single printf so that scripts started at the
// same time do not mix their lines.

#include "tests/support/daemon_tree.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/support/temp_dir.h"

const char kTestLanguage[] =
    "[ERRORS]\n"
    "100001=Please check the setup.\n"
    "100002=The command server cannot be created.\n"
    "98=Port $ is already in use.\n"
    "13=Port $ is not permitted.\n"
    "\n"
    "[QSSRV]\n"
    "LogStart=START $\n"
    "LogStop=STOP\n"
    "LogNotExecuted=REFUSED $\n"
    "LogNotExecutedMore=REFUSED MORE $ $\n"
    "LogShutdown=SHUTDOWN by $\n"
    "LogMessage=MESSAGE by $\n"
    "LogCustom_1=CUSTOM1 by $\n"
    "LogCustom_2=CUSTOM2 by $\n"
    "LogCustom_3=CUSTOM3 by $\n"
    "LogUnknown=UNKNOWN by $\n"
    "LogAliveKo=ALIVE KO $ after $ tries\n";

namespace {

const char* const kRecorders[] = {"shutdown.sh", "message.sh", "custom1.sh",
                                  "custom2.sh",  "custom3.sh", "chkfail.sh"};

std::string FieldAfter(const std::string& piece, const std::string& prefix) {
  return piece.compare(0, prefix.size(), prefix) == 0 ? piece.substr(prefix.size()) : "";
}

bool IsDigits(const std::string& text, size_t from, size_t count) {
  for (size_t i = from; i < from + count; ++i) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

}  // namespace

void SetEntry(TConfigEntries* entries, const std::string& key, const std::string& value) {
  for (auto& entry : *entries) {
    if (entry.first == key) {
      entry.second = value;
      return;
    }
  }
  entries->emplace_back(key, value);
}

void EraseEntry(TConfigEntries* entries, const std::string& key) {
  for (auto it = entries->begin(); it != entries->end();) {
    it = it->first == key ? entries->erase(it) : it + 1;
  }
}

TConfigEntries TDaemonTree::DefaultConfig(uint16_t port) const {
  return {
      {"AdrCount", "1"},
      {"Adr0", "127.0.0.1"},
      {"ListenPort", std::to_string(port)},
      {"AliveEnabled", "0"},
      {"ScriptShutdown", Script("shutdown.sh")},
      {"ScriptMessage", Script("message.sh")},
      {"ScriptCustom_1", Script("custom1.sh")},
      {"ScriptCustom_2", Script("custom2.sh")},
      {"ScriptCustom_3", Script("custom3.sh")},
      {"LogEnabled", "1"},
  };
}

bool TDaemonTree::WriteConfig(const TConfigEntries& config) const {
  std::string text = "[QS System]\n";
  for (const auto& entry : config) text += entry.first + "=" + entry.second + "\n";
  return WriteFile(ConfigPath(), text);
}

bool TDaemonTree::WriteRecorder(const std::string& path, const std::string& record_path) {
  std::string script =
      "#!/bin/sh\n"
      "line=\"argc=$#\"\n"
      "i=1\n"
      "for a in \"$@\"; do line=\"$line\targ$i=$a\"; i=$((i+1)); done\n"
      "blk=$(sed -n 's/^SigBlk:[[:space:]]*//p' /proc/$$/status)\n"
      "fds=$(for f in /proc/$$/fd/*; do n=${f##*/}; [ \"$n\" -gt 2 ] && "
      "printf '%s:%s,' \"$n\" \"$(readlink \"$f\")\"; done)\n"
      "printf '%s\\tsigblk=%s\\tcwd=%s\\tfds=%s\\n' \"$line\" \"$blk\" \"$(pwd)\" \"$fds\" >> '" +
      record_path + "'\n";
  return WriteFile(path, script, 0755);
}

bool TDaemonTree::Build(const std::string& qslx_binary, const TConfigEntries& config,
                        std::string* error) const {
  for (const char* dir : {"bin", "languages", "data", "script/system", "rec"}) {
    if (!MakeDirs(root_ + dir)) {
      *error = "cannot create " + root_ + dir;
      return false;
    }
  }
  std::string program = ReadFile(qslx_binary);
  if (program.empty() || !WriteFile(Program(), program, 0755)) {
    *error = "cannot copy " + qslx_binary + " to " + Program();
    return false;
  }
  std::string suite =
      "[Globals]\nProductVersion=1.0\nInstallPath=" + root_ + "\nLanguageFile=test.lng\n";
  if (!WriteFile(SuiteSettingsPath(), suite) ||
      !WriteFile(root_ + "languages/test.lng", kTestLanguage) || !WriteConfig(config)) {
    *error = "cannot write the settings below " + root_;
    return false;
  }
  for (const char* name : kRecorders) {
    if (!WriteRecorder(Script(name), RecordPath(name))) {
      *error = std::string("cannot write the recorder ") + name;
      return false;
    }
  }
  return true;
}

std::vector<TScriptRun> TDaemonTree::Runs(const std::string& name) const {
  return ReadScriptRuns(RecordPath(name));
}

std::vector<TScriptRun> ReadScriptRuns(const std::string& record_path) {
  std::vector<TScriptRun> runs;
  for (const std::string& line : LinesOf(ReadFile(record_path))) {
    TScriptRun run;
    size_t start = 0;
    while (start <= line.size()) {
      size_t end = line.find('\t', start);
      if (end == std::string::npos) end = line.size();
      std::string piece = line.substr(start, end - start);
      start = end + 1;
      if (piece.compare(0, 5, "argc=") == 0) {
        run.argc = std::atoi(piece.c_str() + 5);
      } else if (piece.compare(0, 3, "arg") == 0 && piece.find('=') != std::string::npos) {
        run.args.push_back(piece.substr(piece.find('=') + 1));
      } else if (piece.compare(0, 7, "sigblk=") == 0) {
        run.blocked = std::strtoull(FieldAfter(piece, "sigblk=").c_str(), nullptr, 16);
      } else if (piece.compare(0, 4, "cwd=") == 0) {
        run.cwd = FieldAfter(piece, "cwd=");
      } else if (piece.compare(0, 4, "fds=") == 0) {
        std::string list = FieldAfter(piece, "fds=");
        size_t from = 0;
        for (size_t comma; (comma = list.find(',', from)) != std::string::npos; from = comma + 1) {
          run.fds.push_back(list.substr(from, comma - from));
        }
      }
    }
    runs.push_back(run);
  }
  return runs;
}

bool ParseLogLine(const std::string& line, std::string* text) {
  // "dd/MM/yyyy hh:mm:ss  " is 21 characters.
  if (line.size() < 21 || !IsDigits(line, 0, 2) || line[2] != '/' || !IsDigits(line, 3, 2) ||
      line[5] != '/' || !IsDigits(line, 6, 4) || line[10] != ' ' || !IsDigits(line, 11, 2) ||
      line[13] != ':' || !IsDigits(line, 14, 2) || line[16] != ':' || !IsDigits(line, 17, 2) ||
      line[19] != ' ' || line[20] != ' ') {
    return false;
  }
  *text = line.substr(21);
  return true;
}
