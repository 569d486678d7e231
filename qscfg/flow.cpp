// The configuration program's flow. As the master's console does, it prints
// its start-up failures as plain lines before curses starts, ends curses and
// clears the terminal on every way out, and keeps every edit in memory when
// a save fails so that the user can try again. "--check" never starts
// curses: it reads the file as the daemon would and prints its findings.
#include "qscfg/flow.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/console.h"
#include "common/files.h"
#include "common/lang.h"
#include "common/locale.h"
#include "common/process.h"
#include "common/settings.h"
#include "qscfg/check.h"
#include "tui/console_ui.h"
#include "tui/crt.h"
#include "tui/ctrls.h"
#include "tui/curses_screen.h"
#include "tui/menu.h"

namespace {

const char kIdent[] = "qscfg";

const char kUsage[] =
    "Usage: qscfg [-h] [-v] [-cr] [--check [FILE]]\n"
    "Edits the settings of the QS System daemon (bin/qslx.cfg of the installation)\n"
    "in full-screen menus; run as root from the installation's bin/ directory.\n"
    "The file is written only on \"Save and Exit\"; restart the daemon afterwards.\n"
    "\n"
    "  -h              this text\n"
    "  -v              the version\n"
    "  -cr             the credits\n"
    "  --check [FILE]  no screen: print each problem of FILE (default: bin/qslx.cfg\n"
    "                  of the installation, which needs root) that would make the\n"
    "                  daemon refuse to start or misbehave. A FILE needs no root.\n"
    "\n"
    "Exit status: 0; with --check 0 when the file is sound, 1 otherwise.\n";

bool QsDaemonRuns() {
  return FindDaemonPid("qslx", 1, -1) != -1;
}

void RunQsMenu() {
  if (!QuitRequested()) RunMenu(QsMenuTable());
}

int RunCheck(int argc, char** argv, int at) {
  if (at + 1 < argc) return CheckQsFile(argv[at + 1], SystemProbes());
  if (!RequireRootUser()) return 1;
  const std::string root = GetInstallPath(ProgramDirectory(argv[0]));
  if (root.empty()) {
    PrintSetupFailure();
    return 1;
  }
  return CheckQsFile(root + "bin/qslx.cfg", SystemProbes());
}

}  // namespace

const TMenu& QsMenuTable() {
  static const TMenu menu = {"Voltmon Manager - QS System Configuration",
                             {
                                 {"Listen Port Configuration", ListenPortScreen, nullptr, nullptr},
                                 {"Master Servers Configuration", MastersScreen, nullptr, nullptr},
                                 {"Event Log Configuration", EventLogScreen, nullptr, nullptr},
                                 {"Alive Check Configuration", AliveCheckScreen, nullptr, nullptr},
                                 {"Scripts Configuration", ScriptsScreen, nullptr, nullptr},
                                 {"", nullptr, nullptr, nullptr},
                                 {"Save and Exit", nullptr, SaveQsAndNotify, nullptr},
                                 {"Exit", nullptr, AlwaysLeaves, nullptr},
                             }};
  return menu;
}

bool SaveQsAndNotify() {
  TQsEditor& editor = QsEditor();
  return SaveAndNotify(
      editor.path, [&editor](bool* in_place) { return SaveQsEditor(&editor, in_place); },
      QsDaemonRuns, LangText("Restart", "QSCFG"));
}

bool LoadQsEditor(const std::string& program_dir, TQsEditor* editor) {
  const std::string root = GetInstallPath(program_dir);
  if (root.empty()) return false;
  const std::string language = GetLanguageFile(root);
  if (language.empty()) return false;
  SetLanguageFilePath(root + "languages/" + language);
  editor->path = root + "bin/qslx.cfg";
  if (const int error = LoadIniFile(editor->path, &editor->doc); error != 0) {
    PrintMessage(kIdent, editor->path + ": " + SystemErrorText(error));
    return false;
  }
  editor->config = ReadQsConfig(editor->doc);
  return true;
}

int SaveQsEditor(TQsEditor* editor, bool* in_place) {
  TIniDocument doc = editor->doc;
  WriteQsConfig(editor->config, &doc);
  if (const int error = SaveIniFile(editor->path, doc, in_place); error != 0) return error;
  editor->doc = doc;
  return 0;
}

int CheckQsFile(const std::string& path, const TQsProbes& probes) {
  TIniDocument doc;
  if (!PathExists(path)) {
    PrintMessage(kIdent, path + ": " + SystemErrorText(ENOENT));
    return 1;
  }
  if (const int error = LoadIniFile(path, &doc); error != 0) {
    PrintMessage(kIdent, path + ": " + SystemErrorText(error));
    return 1;
  }
  const std::vector<TFinding> findings = CheckQsConfig(doc, probes);
  for (const TFinding& finding : findings)
    PrintMessage(kIdent, finding.key + ": " + FindingText(finding));
  if (findings.empty()) PrintMessage(kIdent, path + ": no problem found");
  return findings.empty() ? 0 : 1;
}

int QsConfigMain(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--check") == 0) return RunCheck(argc, argv, i);
  }
  if (argc > 1 && std::strcmp(argv[1], "-cr") == 0) {
    PrintCredits();
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "-v") == 0) {
    PrintVersionBlock(std::string("QS System Configuration - Version ") + kQsSystemVersion);
    return 0;
  }
  if (!RequireRootUser()) return 0;
  SetTextFormats();
  QsEditor().probes = SystemProbes();
  const std::string program_dir = ProgramDirectory(argc > 0 ? argv[0] : "");
  // Held until the program ends, so that a second console cannot load the
  // file this one is about to save.
  TSessionLock lock;
  const std::string root = GetInstallPath(program_dir);
  if (!root.empty() && !LockForSession(kIdent, root + "bin/qslx.cfg", &lock)) return 0;
  if (!LoadQsEditor(program_dir, &QsEditor())) {
    PrintSetupFailure();
    return 0;
  }
  SetScreenIdent(kIdent);
  RunConsole(RunQsMenu);
  return 0;
}
