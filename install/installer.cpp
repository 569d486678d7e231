// The installation run: banner, root and packet checks, language, licence
// and module choice, the copying of the chosen modules' files, the suite
// settings, and for each module the offers to configure it, to register its
// start-up script with the init directories and to start it. Every step
// prints its own progress; every failure ends the run with "Installation
// aborted." and leaves what was done so far in place.
#include "install/installer.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/console.h"
#include "common/files.h"
#include "common/ini.h"
#include "common/log.h"
#include "common/process.h"
#include "common/settings.h"
#include "install/commands.h"
#include "install/initdirs.h"
#include "install/install_log.h"
#include "install/packet.h"
#include "install/prompt.h"

const char kInstallRoot[] = "/usr/vantrel/voltmon/";

namespace {

const char kProductName[] = "Voltmon Manager";
const int kBannerWidth = 60;

// The run state, process-wide for the one run the program makes.
struct TInstallRun {
  std::string SourceDir;
  std::string PacketPath;
  std::string SelectedLanguage;
  std::string product_version;
  bool WattkeepSelected = false;
  bool QsSelected = false;
};

TInstallRun g_run;

std::string Root() {
  return kInstallRoot;
}

std::string LogPath() {
  return Root() + "bin/install.log";
}

// Flushed first so that our lines come before anything the command prints.
bool RunShell(const std::string& command, const std::string& arguments = "") {
  std::fflush(stdout);
  return RunProgram(command, arguments, true);
}

void Clear() {
  std::fflush(stdout);
  ClearScreen();
}

bool RunStep(const std::string& text, const std::string& command) {
  WriteText(text);
  const bool ok = RunShell(command);
  WriteText(ok ? "OK\n" : "KO");
  return ok;
}

void LogFile(const std::string& mode, const std::string& path) {
  WriteInstallLog(LogPath(), "FILE:" + mode + ":" + path, false);
}

// mkdir -p: each missing component in turn.
bool MakeDirectories(const std::string& path) {
  for (std::string::size_type end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string part = path.substr(0, end);
    if (!part.empty() && !PathExists(part)) {
      if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    if (end == std::string::npos) return true;
  }
}

bool CreateInstallDirectories() {
  static const char* const kDirectories[] = {
      "", "bin/", "languages/", "data/", "help/", "script/", "script/system/", "man/", "man/man8/"};
  for (const char* relative : kDirectories) {
    const std::string directory = Root() + relative;
    if (PathExists(directory)) continue;
    if (!MakeDirectories(directory)) return false;
  }
  WriteInstallLog(LogPath(), "DIR:" + Root(), true);
  return true;
}

bool InstallModuleFiles(const std::string& title, const std::string& section) {
  if (!title.empty()) WriteLine(title);
  TTextList lines;
  if (!ReadPacketSection(g_run.PacketPath, section, &lines)) {
    ShowInstallError("Install packet appears corrupted !");
    return false;
  }
  for (const std::string& line : lines) {
    TFileLine file;
    if (!ParseFileLine(line, g_run.SelectedLanguage, &file)) {
      ShowInstallError("Install packet appears corrupted !");
      return false;
    }
    const std::string source = g_run.SourceDir + file.source;
    const std::string destination = Root() + file.destination;
    if (!RunStep("Copying " + FileNamePart(source) + "....", CopyCommand(source, destination))) {
      ShowInstallError("Could not copy " + source + " to " + destination);
      return false;
    }
    LogFile(file.mode, destination);
    if (!RunStep("Setting permission to " + FileNamePart(destination) + "....",
                 PermissionCommand(file.mode, destination))) {
      ShowInstallError("Could not set permission to " + destination);
      return false;
    }
  }
  return true;
}

void PrintVersion() {
  WriteLine(kProductName);
  WriteLine("Setup program - version 1.0.7.9");
  WriteLine(kRightsNotice);
  WriteLine("");
}

void PrintBanner() {
  WriteLine(CenteredText("Welcome to", kBannerWidth));
  WriteLine(CenteredText(std::string("Installation of ") + kProductName, kBannerWidth));
  WriteLine(CenteredText(kRightsNotice, kBannerWidth));
  WriteLine(std::string(kBannerWidth, '~'));
  WriteLine("");
}

// The chosen language's name, or the empty text when the packet lists none.
std::string ChooseLanguage() {
  TTextList languages;
  if (!ReadPacketSection(g_run.PacketPath, "Languages", &languages)) return "";
  WriteLine("Please select your language:");
  WriteLine("");
  const int count = static_cast<int>(languages.size());
  for (;;) {
    for (int i = 0; i < count; ++i) {
      WriteLine("- [" + std::to_string(i + 1) + "]  " + languages[static_cast<size_t>(i)]);
    }
    WriteLine("");
    WriteText("Selection [1.." + std::to_string(count) + "]: ");
    const int choice = ParseSelection(ReadAnswerOrAbort(), count);
    if (choice > 0) return languages[static_cast<size_t>(choice - 1)];
    ShowInstallError("Wrong choice !");
  }
}

// Pages one of the packet's "Info" texts, after a question when one is
// given (declining counts as success), and asks `after_question` after it.
// False when the text does not exist or the after-question is declined.
bool ShowInfoFile(const std::string& question, const std::string& key,
                  const std::string& after_question) {
  if (!question.empty() && !AskYesNo(question)) return true;
  Clear();
  const std::string path =
      g_run.SourceDir +
      ReplaceLanguage(ReadIniString("Info", key, "", g_run.PacketPath), g_run.SelectedLanguage);
  if (!PathExists(path)) return false;
  RunShell(PagerCommand(path, isatty(STDIN_FILENO) != 0));
  if (after_question.empty()) return true;
  WriteLine("");
  WriteLine("");
  return AskYesNo(after_question);
}

void ChooseModules() {
  WriteLine("Please select modules to install:");
  WriteLine("");
  for (;;) {
    g_run.WattkeepSelected = AskYesNo("Install Wattkeep (master mode)");
    g_run.QsSelected = AskYesNo("Install QS System (slave mode)");
    if (g_run.WattkeepSelected || g_run.QsSelected) return;
    ShowInstallError("No modules selected !");
  }
}

void WriteSuiteSettings() {
  const std::string path = Root() + "bin/voltmon.cfg";
  // Without this file no installed program can start, so the run must not
  // end as if it had succeeded.
  if (WriteIniString("Globals", "ProductVersion", g_run.product_version, path) != 0 ||
      WriteIniString("Globals", "InstallPath", Root(), path) != 0 ||
      WriteIniString("Globals", "LanguageFile", g_run.SelectedLanguage + ".lng", path) != 0) {
    ShowInstallError("Could not write " + path);
    AbortInstall();
  }
  RunShell(PermissionCommand("r", path));
}

void OfferConfigure(const std::string& module, const std::string& program) {
  if (AskYesNo("Do you want to configure " + module + " now")) {
    RunShell(ShellQuote(Root() + program));
  } else {
    WriteLine("To configure " + module + " run ./" + FileNamePart(program) + " in " + Root() +
              "bin/");
  }
}

void RegisterStartup(const std::string& module, const std::string& script) {
  if (!AskYesNo("Do you want to automatically start " + module + " at system startup")) {
    WriteLine("To start " + module + " automatically at system boot add the command\r\n" + Root() +
              script + " to your /etc/rc boot script");
    WriteLine("To stop " + module + " automatically at system shutdown add the command\r\n" +
              Root() + script + " to your /etc/rc shutdown script");
    return;
  }
  const std::string name = FileNamePart(script);
  const std::string init_directory = FindInitDirectory(PathExists);
  const std::string run_level_base = FindRunLevelBase(PathExists);
  if (init_directory.empty() || run_level_base.empty()) {
    ShowInstallError(
        "init.d and/or rc.d directories not found! Please create your symbolink links "
        "manually.");
    return;
  }
  const std::string target = init_directory + name;
  if (!RunStep("Copying " + name + "....", CopyCommand(Root() + script, target))) {
    ShowInstallError("Could not copy " + script + " to " + target);
    return;
  }
  LogFile("r", target);
  static const struct {
    const char* prefix;
    const char* kind;
  } kLinks[] = {{"S90", "start"}, {"K20", "stop"}};
  for (const auto& link : kLinks) {
    for (int level : {2, 3, 5}) {
      const std::string directory = run_level_base + "rc" + std::to_string(level) + ".d/";
      const std::string path = directory + link.prefix + name;
      if (!RunStep(std::string("Creating ") + link.kind + " symbolic link to " + directory + "....",
                   LinkCommand(target, path))) {
        ShowInstallError("Could not create symbolic link to " + directory);
        return;
      }
      LogFile("r", path);
    }
  }
}

void OfferStart(const std::string& configuration, const std::string& module,
                const std::string& script) {
  const std::string path = Root() + configuration;
  // Not configured yet: starting it would only fail.
  if (!PathExists(path) || GetFileSize(path) == 0) return;
  WriteLine("");
  if (AskYesNo("Do you want to start " + module + " now")) {
    RunShell(ShellQuote(Root() + script), "start > /dev/null");
  } else {
    WriteLine("To start " + module + " manually run ./" + FileNamePart(script) + " in " + Root() +
              "bin/");
  }
}

void SetUpModule(const std::string& module, const std::string& program, const std::string& script,
                 const std::string& configuration) {
  WriteLine("");
  WriteLine("");
  OfferConfigure(module, program);
  WriteLine("");
  RegisterStartup(module, script);
  OfferStart(configuration, module, script);
}

void Install(const char* argv0) {
  Clear();
  WriteLine("");
  PrintBanner();
  if (!RequireRootUser()) AbortInstall();

  g_run.SourceDir = ProgramDirectory(argv0);
  g_run.PacketPath = g_run.SourceDir + "install.dat";
  if (!PathExists(g_run.PacketPath)) AbortInstall("Install packet appears corrupted !");
  TTextList globals;
  if (ReadPacketSection(g_run.PacketPath, "Globals", &globals)) g_run.product_version = globals[0];

  g_run.SelectedLanguage = ChooseLanguage();
  if (g_run.SelectedLanguage.empty()) AbortInstall("No languages file found !");

  if (!ShowInfoFile("", "Licence", "AGREE LICENCE")) AbortInstall();
  Clear();
  ShowInfoFile("Do you want to learn more about available modules", "Modules", "");

  WriteLine("");
  WriteLine("");
  ChooseModules();

  if (!CreateInstallDirectories()) AbortInstall("Could not create directory !");
  if (g_run.WattkeepSelected) {
    WriteLine("");
    if (!InstallModuleFiles("Install Wattkeep files:", "Wattkeep")) AbortInstall();
    WriteLine("");
  }
  if (g_run.QsSelected) {
    if (!g_run.WattkeepSelected) WriteLine("");
    if (!InstallModuleFiles("Install QS System files:", "QS System")) AbortInstall();
    WriteLine("");
  }
  if (!InstallModuleFiles("Install Common files:", "Common")) AbortInstall();
  WriteSuiteSettings();

  if (g_run.WattkeepSelected) {
    SetUpModule("Wattkeep", "bin/wkcfg", "bin/startwksrv", "bin/wksrv.cfg");
  }
  if (g_run.QsSelected) {
    SetUpModule("QS System", "bin/qscfg", "bin/startqslx", "bin/qslx.cfg");
  }
  if (g_run.WattkeepSelected) {
    WriteLine("");
    WriteLine("");
    ShowInfoFile("Do you want to read informations", "AutTest", "");
  }

  WriteLine("");
  WriteLine("");
  WriteLine(std::string("Setup completed. ") + kProductName + " installed in \"" + Root() + "\"");
  WriteLine("");
  WriteLine("");
  WriteLine("");
}

}  // namespace

int InstallerMain(int argc, char** argv) {
  bool version = false;
  bool credits = false;
  bool help = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "-v") version = true;
    if (argument == "-cr") credits = true;
    if (argument == "-h" || argument == "--help") help = true;
  }
  if (help) {
    std::fputs(
        "Usage: install [-v] [-cr] [-h]\n"
        "The interactive installer of Voltmon Manager: asks its questions on the\n"
        "terminal and installs the suite into /usr/vantrel/voltmon/. Run it as root\n"
        "from the install packet: install.dat and the files it lists beside it.\n"
        "  -v      print the version\n"
        "  -cr     print the credits\n"
        "  -h, --help  print this text\n",
        stdout);
    std::fflush(stdout);
    return 0;
  }
  if (version || credits) {
    if (version) PrintVersion();
    if (credits) PrintCredits();
    std::fflush(stdout);
    return 0;
  }
  try {
    Install(argc > 0 ? argv[0] : "");
  } catch (const TInstallAborted&) {
  } catch (const std::exception& error) {
    // Whatever failed, the run ends the way every other abort does.
    WriteLine("");
    PrintAlert(std::string(error.what()) + "  Installation aborted.");
    WriteLine("");
  }
  std::fflush(stdout);
  return 0;
}
