// The real installer, run from packets made here inside a sandbox whose /usr
// and /etc are overlays, answered through its standard input. What it wrote
// is read back from the overlays' upper directories.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/console.h"
#include "common/scramble.h"
#include "common/text.h"
#include "tests/install/sandbox.h"

namespace installtest {
namespace {

const char kRoot[] = "/usr/vantrel/voltmon/";

// Every init layout but the one a test asks for is taken away, so that the
// host's own layout does not decide the outcome.
const char kNoInitDirectories[] =
    "rm -rf /etc/init.d /etc/rc.d /etc/rc2.d /etc/rc3.d /etc/rc5.d\n"
    "for d in /sbin/init.d /sbin/rc.d /sbin/rc2.d; do [ ! -e $d ] || exit 98; done\n";
const char kEtcInitLayout[] =
    "rm -rf /etc/init.d /etc/rc.d /etc/rc2.d /etc/rc3.d /etc/rc5.d\n"
    "for d in /sbin/init.d /sbin/rc.d /sbin/rc2.d; do [ ! -e $d ] || exit 98; done\n"
    "mkdir -p /etc/init.d /etc/rc2.d /etc/rc3.d /etc/rc5.d\n";

const char kDefaultPacket[] =
    "; test packet\n"
    "[Globals]\n"
    "9.8.7 test\n"
    "\n"
    "[Languages]\n"
    "english\n"
    "deutsch\n"
    "\n"
    "[Info]\n"
    "Licence=texts/licence_$.txt\n"
    "Modules=texts/modules_$.txt\n"
    "AutTest=texts/auttest_$.txt\n"
    "\n"
    "[Wattkeep]\n"
    "bin/startwksrv|bin/startwksrv|e\n"
    "\n"
    "[QS System]\n"
    "bin/qslx|bin/qslx|e\n"
    "bin/startqslx | bin/startqslx | e\n"
    "bin/qslx.cfg|bin/qslx.cfg|w\n"
    "script/system/shutdown.sh|script/system/shutdown.sh|e\n"
    "\n"
    "[Common]\n"
    "languages/$.lng|languages/$.lng|r\n"
    "help/help_$.txt|help/voltmon.txt|E\n";

// The text as one single-quoted shell word.
std::string Quoted(const std::string& text) {
  std::string word = "'";
  for (char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\n";
  return text;
}

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    packet_ = scratch_.Sub("packet");
    MakePacket(packet_, kDefaultPacket);
  }

  // A packet with the real installer and small stand-ins for every file.
  static void MakePacket(const std::string& dir, const std::string& install_dat) {
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(VM_INSTALL_PATH, dir + "/install");
    chmod((dir + "/install").c_str(), 0755);
    ASSERT_TRUE(WriteFile(dir + "/install.dat", install_dat));
    ASSERT_TRUE(WriteFile(dir + "/bin/qslx", "#!/bin/sh\necho qslx\n", 0755));
    ASSERT_TRUE(WriteFile(dir + "/bin/startqslx",
                          "#!/bin/sh\necho \"startqslx $*\" >> /etc/vm-test-started\n", 0755));
    ASSERT_TRUE(WriteFile(dir + "/bin/qslx.cfg", "[QS System]\nListenPort=6005\n"));
    ASSERT_TRUE(WriteFile(dir + "/bin/startwksrv", "#!/bin/sh\necho startwksrv\n", 0755));
    ASSERT_TRUE(WriteFile(dir + "/script/system/shutdown.sh", "#!/bin/sh\n", 0755));
    for (const char* language : {"english", "deutsch"}) {
      const std::string name = language;
      ASSERT_TRUE(
          WriteFile(dir + "/languages/" + name + ".lng", "[QSSRV]\nLogStart=" + name + "\n"));
      ASSERT_TRUE(WriteFile(dir + "/help/help_" + name + ".txt", "HELP " + name + "\n"));
      ASSERT_TRUE(WriteFile(dir + "/texts/licence_" + name + ".txt", "LICENCE " + name + "\n"));
      ASSERT_TRUE(WriteFile(dir + "/texts/modules_" + name + ".txt", "MODULES " + name + "\n"));
      ASSERT_TRUE(WriteFile(dir + "/texts/auttest_" + name + ".txt", "AUTTEST " + name + "\n"));
    }
  }

  TSandboxResult Install(const std::string& answers, const std::string& prepare = kEtcInitLayout,
                         const std::string& packet = "") {
    const std::string dir = packet.empty() ? packet_ : packet;
    return sandbox_.Run(Quoted(dir + "/install"), answers, prepare);
  }

  std::string Upper(const std::string& path) const { return sandbox_.Upper(path); }
  std::string Installed(const std::string& relative) const {
    return Upper(std::string(kRoot) + relative);
  }

  bool Exists(const std::string& path) const {
    struct stat st;
    return StatPath(path, &st);
  }

  // Mode bits and owner of an installed file.
  void ExpectFile(const std::string& relative, mode_t mode) const {
    struct stat st;
    ASSERT_TRUE(StatPath(Installed(relative), &st)) << relative;
    EXPECT_TRUE(S_ISREG(st.st_mode)) << relative;
    EXPECT_EQ(mode, st.st_mode & 07777) << relative;
    EXPECT_EQ(0u, st.st_uid) << relative;
    EXPECT_EQ(0u, st.st_gid) << relative;
  }

  TTextList LogEntries() const {
    TTextList entries;
    EXPECT_EQ(0, LoadScrambledLines(&entries, Installed("bin/install.log")));
    return entries;
  }

  static bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }

  static int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
      ++count;
    }
    return count;
  }

  TTempDir scratch_{"vminstall", 0755};
  TSandbox sandbox_{scratch_.Sub("sandbox")};
  std::string packet_;
};

std::string Banner() {
  auto centered = [](const std::string& text) {
    const int pad = (60 - static_cast<int>(text.size())) / 2;
    return (pad > 0 ? std::string(pad, ' ') : std::string()) + text + "\n";
  };
  return "\n" + centered("Welcome to") + centered("Installation of Voltmon Manager") +
         centered(kRightsNotice) + std::string(60, '~') + "\n\n";
}

std::string LanguageMenu() {
  return Lines({"- [1]  english", "- [2]  deutsch", ""});
}

// What the pager prints for a text when the installer's input is a pipe.
std::string Paged(const std::string& path, const std::string& text) {
  return "::::::::::::::\n" + path + "\n::::::::::::::\n" + text;
}

TEST_F(InstallTest, BothModulesTranscriptFilesSettingsLogAndLinks) {
  const TSandboxResult result =
      Install(Lines({"2", "y", "n", "y", "y", "n", "y", "n", "y", "n", "y"}));
  ASSERT_EQ(0, result.status) << result.errors;
  const std::string copy_start = "Copying startwksrv....OK\n";
  std::string links;
  for (const char* name : {"startwksrv", "startqslx"}) {
    links += std::string("Copying ") + name + "....OK\n";
    for (const char* kind : {"start", "stop"}) {
      for (const char* level : {"2", "3", "5"}) {
        links +=
            std::string("Creating ") + kind + " symbolic link to /etc/rc" + level + ".d/....OK\n";
      }
    }
    if (std::string(name) == "startwksrv") {
      links +=
          "\n\nDo you want to configure QS System now [y/n] ?: "
          "To configure QS System run ./qscfg in /usr/vantrel/voltmon/bin/\n"
          "\n"
          "Do you want to automatically start QS System at system startup [y/n] ?: ";
    }
  }
  const std::string expected =
      Banner() + "Please select your language:\n\n" + LanguageMenu() +
      "Selection [1..2]: " + Paged(packet_ + "/texts/licence_deutsch.txt", "LICENCE deutsch\n") +
      "\n\nAGREE LICENCE [y/n] ?: "
      "Do you want to learn more about available modules [y/n] ?: "
      "\n\n"
      "Please select modules to install:\n\n"
      "Install Wattkeep (master mode) [y/n] ?: Install QS System (slave mode) [y/n] ?: "
      "\nInstall Wattkeep files:\n" +
      copy_start +
      "Setting permission to startwksrv....OK\n"
      "\n"
      "Install QS System files:\n"
      "Copying qslx....OK\nSetting permission to qslx....OK\n"
      "Copying startqslx....OK\nSetting permission to startqslx....OK\n"
      "Copying qslx.cfg....OK\nSetting permission to qslx.cfg....OK\n"
      "Copying shutdown.sh....OK\nSetting permission to shutdown.sh....OK\n"
      "\n"
      "Install Common files:\n"
      "Copying deutsch.lng....OK\nSetting permission to deutsch.lng....OK\n"
      "Copying help_deutsch.txt....OK\nSetting permission to voltmon.txt....OK\n"
      "\n\nDo you want to configure Wattkeep now [y/n] ?: "
      "To configure Wattkeep run ./wkcfg in /usr/vantrel/voltmon/bin/\n"
      "\n"
      "Do you want to automatically start Wattkeep at system startup [y/n] ?: " +
      links +
      "\nDo you want to start QS System now [y/n] ?: "
      "To start QS System manually run ./startqslx in /usr/vantrel/voltmon/bin/\n"
      "\n\nDo you want to read informations [y/n] ?: " +
      Paged(packet_ + "/texts/auttest_deutsch.txt", "AUTTEST deutsch\n") +
      "\n\nSetup completed. Voltmon Manager installed in \"/usr/vantrel/voltmon/\"\n\n\n\n";
  EXPECT_EQ(expected, result.output);

  ExpectFile("bin/startwksrv", 0770);
  ExpectFile("bin/qslx", 0770);
  ExpectFile("bin/startqslx", 0770);
  ExpectFile("bin/qslx.cfg", 0660);
  ExpectFile("script/system/shutdown.sh", 0770);
  ExpectFile("languages/deutsch.lng", 0440);
  ExpectFile("help/voltmon.txt", 0440);
  ExpectFile("bin/voltmon.cfg", 0440);
  EXPECT_FALSE(Exists(Installed("languages/english.lng")));
  EXPECT_EQ("HELP deutsch\n", ReadFile(Installed("help/voltmon.txt")));
  for (const char* dir : {"data", "help", "languages", "script/system"}) {
    struct stat st;
    ASSERT_TRUE(StatPath(Installed(dir), &st)) << dir;
    EXPECT_TRUE(S_ISDIR(st.st_mode)) << dir;
  }
  EXPECT_EQ(
      "[Globals]\nProductVersion=9.8.7 test\nInstallPath=/usr/vantrel/voltmon/\n"
      "LanguageFile=deutsch.lng\n",
      ReadFile(Installed("bin/voltmon.cfg")));

  TTextList expected_log = {
      "DIR:/usr/vantrel/voltmon/",
      "FILE:e:/usr/vantrel/voltmon/bin/startwksrv",
      "FILE:e:/usr/vantrel/voltmon/bin/qslx",
      "FILE:e:/usr/vantrel/voltmon/bin/startqslx",
      "FILE:w:/usr/vantrel/voltmon/bin/qslx.cfg",
      "FILE:e:/usr/vantrel/voltmon/script/system/shutdown.sh",
      "FILE:r:/usr/vantrel/voltmon/languages/deutsch.lng",
      "FILE:E:/usr/vantrel/voltmon/help/voltmon.txt",
  };
  for (const char* name : {"startwksrv", "startqslx"}) {
    expected_log.push_back(std::string("FILE:r:/etc/init.d/") + name);
    for (const char* prefix : {"S90", "K20"}) {
      for (const char* level : {"2", "3", "5"}) {
        const std::string link = std::string("/etc/rc") + level + ".d/" + prefix + name;
        expected_log.push_back("FILE:r:" + link);
        char target[256] = {};
        ASSERT_GT(readlink(Upper(link).c_str(), target, sizeof target - 1), 0) << link;
        EXPECT_EQ(std::string("/etc/init.d/") + name, target);
      }
    }
    EXPECT_EQ(ReadFile(Installed(std::string("bin/") + name)),
              ReadFile(Upper(std::string("/etc/init.d/") + name)));
  }
  EXPECT_EQ(expected_log, LogEntries());
}

TEST_F(InstallTest, QsSystemOnlyLayoutAndStartThroughTheScript) {
  const TSandboxResult result =
      Install(Lines({"1", "y", "y", "n", "y", "n", "y", "y"}), kEtcInitLayout);
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_TRUE(Contains(result.output,
                       "Do you want to learn more about available modules [y/n] ?: " +
                           Paged(packet_ + "/texts/modules_english.txt", "MODULES english\n") +
                           "\n\nPlease select modules to install:\n\n"));
  EXPECT_TRUE(Contains(result.output,
                       "Install QS System (slave mode) [y/n] ?: \nInstall QS System files:\n"));
  EXPECT_FALSE(Contains(result.output, "Wattkeep files"));
  EXPECT_FALSE(Contains(result.output, "configure Wattkeep"));
  EXPECT_FALSE(Contains(result.output, "read informations"));
  EXPECT_FALSE(Contains(result.output, "AUTTEST"));
  EXPECT_TRUE(Contains(result.output,
                       "Do you want to start QS System now [y/n] ?: \n\n"
                       "Setup completed."));
  EXPECT_FALSE(Exists(Installed("bin/startwksrv")));
  ExpectFile("languages/english.lng", 0440);
  EXPECT_EQ("startqslx start\n", ReadFile(Upper("/etc/vm-test-started")));
  EXPECT_FALSE(Exists(Upper("/etc/init.d/startwksrv")));
  EXPECT_TRUE(Exists(Upper("/etc/rc5.d/K20startqslx")));
}

// Answers for a "QS System"-only run: English, licence accepted, no module
// texts, QS System only, then configuration, registration and start.
std::string QsOnly(const char* configure, const char* autostart, const char* start) {
  return Lines({"1", "y", "n", "n", "y", configure, autostart, start});
}

std::string WithSection(const std::string& packet, const std::string& section,
                        const std::string& lines) {
  const std::string header = "[" + section + "]\n";
  std::string result = packet;
  const auto at = result.find(header);
  const auto end = result.find("\n[", at + header.size());
  result.replace(at + header.size(),
                 (end == std::string::npos ? result.size() : end + 1) - (at + header.size()),
                 lines + "\n");
  return result;
}

std::string WithoutSection(const std::string& packet, const std::string& section) {
  std::string result = WithSection(packet, section, "");
  const std::string header = "[" + section + "]\n\n";
  result.erase(result.find(header), header.size());
  return result;
}

TEST_F(InstallTest, ConfigureOfferRunsTheInstalledQsConfig) {
  const std::string packet = scratch_.Sub("with-qscfg");
  MakePacket(packet, WithSection(kDefaultPacket, "QS System",
                                 "bin/qslx|bin/qslx|e\nbin/qscfg|bin/qscfg|e\n"
                                 "bin/qslx.cfg|bin/qslx.cfg|w"));
  std::filesystem::copy_file(VM_QSCFG_PATH, packet + "/bin/qscfg");
  // The installed program checks the installed settings once the run is over.
  const TSandboxResult result =
      sandbox_.Run(Quoted(packet + "/install"), QsOnly("y", "n", "n"), kEtcInitLayout,
                   std::string(kRoot) + "bin/qscfg --check > check-output; echo $? > check-status");
  ASSERT_EQ(0, result.status) << result.errors;
  ExpectFile("bin/qscfg", 0770);
  // Started from the installed tree, it got past its set-up checks to the
  // terminal, which a piped run has not.
  EXPECT_TRUE(Contains(result.output, "Do you want to configure QS System now [y/n] ?: \n"));
  EXPECT_FALSE(Contains(result.output, "Invalid setup")) << result.output;
  EXPECT_EQ("qscfg: needs a terminal: standard input and output must be one\n", result.errors);
  const std::string check = ReadFile(sandbox_.LastRunDir() + "/check-output");
  EXPECT_TRUE(Contains(check, "qscfg: AdrCount: no master server is configured")) << check;
  EXPECT_TRUE(Contains(check, "qscfg: ScriptShutdown: the script is empty")) << check;
  EXPECT_EQ("1\n", ReadFile(sandbox_.LastRunDir() + "/check-status"));
}

TEST_F(InstallTest, WrongAnswersAreAskedAgain) {
  const TSandboxResult result = Install(
      Lines({"0", "3", "x", "1", "yes", " y", "y", "n", "n", "n", "Y ", "n", "y", "N", "n", "n"}));
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_EQ(1, Count(result.output, "Please select your language:"));
  EXPECT_EQ(4, Count(result.output, "- [1]  english\n- [2]  deutsch\n\nSelection [1..2]: "));
  EXPECT_EQ(3, Count(result.output, "Selection [1..2]: \nWrong choice !\n\n- [1]  english"));
  EXPECT_TRUE(Contains(result.output,
                       "AGREE LICENCE [y/n] ?: Wrong choice !\nAGREE LICENCE [y/n] ?: Wrong "
                       "choice !\nAGREE LICENCE [y/n] ?: Do you want to learn more"));
  EXPECT_EQ(1, Count(result.output, "Please select modules to install:"));
  EXPECT_TRUE(Contains(result.output,
                       "Install QS System (slave mode) [y/n] ?: \nNo modules selected !\n\n"
                       "Install Wattkeep (master mode) [y/n] ?: Wrong choice !\n"
                       "Install Wattkeep (master mode) [y/n] ?: Install QS System (slave mode) "
                       "[y/n] ?: \nInstall QS System files:"));
  EXPECT_TRUE(Contains(result.output, "Setup completed."));
  ExpectFile("languages/english.lng", 0440);
}

TEST_F(InstallTest, DeclinedConfigurationAndRegistrationLeaveInstructions) {
  const TSandboxResult result = Install(QsOnly("n", "n", "n"));
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_TRUE(
      Contains(result.output,
               "Do you want to configure QS System now [y/n] ?: "
               "To configure QS System run ./qscfg in /usr/vantrel/voltmon/bin/\n\n"
               "Do you want to automatically start QS System at system startup [y/n] ?: "
               "To start QS System automatically at system boot add the command\r\n"
               "/usr/vantrel/voltmon/bin/startqslx to your /etc/rc boot script\n"
               "To stop QS System automatically at system shutdown add the command\r\n"
               "/usr/vantrel/voltmon/bin/startqslx to your /etc/rc shutdown script\n"
               "\nDo you want to start QS System now [y/n] ?: "
               "To start QS System manually run ./startqslx in /usr/vantrel/voltmon/bin/\n"));
  EXPECT_FALSE(Exists(Upper("/etc/init.d/startqslx")));
  EXPECT_FALSE(Exists(Upper("/etc/rc2.d/S90startqslx")));
  for (const std::string& entry : LogEntries()) {
    EXPECT_NE(0u, entry.rfind("FILE:r:/etc", 0)) << entry;
  }
  EXPECT_FALSE(Exists(Upper("/etc/vm-test-started")));
}

TEST_F(InstallTest, NoStartQuestionWithoutModuleConfiguration) {
  ASSERT_TRUE(WriteFile(packet_ + "/bin/qslx.cfg", ""));
  // The configuration program is not in the packet: running it fails quietly.
  const TSandboxResult result = Install(Lines({"1", "y", "n", "n", "y", "y", "n"}));
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_FALSE(Contains(result.output, "Do you want to start"));
  EXPECT_FALSE(Contains(result.output, "To configure"));
  EXPECT_TRUE(Contains(result.output,
                       "Do you want to configure QS System now [y/n] ?: \n"
                       "Do you want to automatically start QS System at system startup"));
  EXPECT_TRUE(Contains(result.output, "/etc/rc shutdown script\n\n\nSetup completed."));
}

TEST_F(InstallTest, EndOfInputAbortsWithStatusZero) {
  TSandboxResult result = Install("");
  EXPECT_EQ(0, result.status) << result.errors;
  EXPECT_TRUE(Contains(result.output, "Selection [1..2]: \nInstallation aborted.\n\n"));
  EXPECT_EQ(std::string::npos, result.output.find("LICENCE"));

  result = Install(Lines({"1"}));
  EXPECT_EQ(0, result.status) << result.errors;
  const std::string tail = "AGREE LICENCE [y/n] ?: \nInstallation aborted.\n\n";
  ASSERT_GE(result.output.size(), tail.size());
  EXPECT_EQ(tail, result.output.substr(result.output.size() - tail.size()));

  result = Install(Lines({"1", "y", "n", "n"}));
  EXPECT_EQ(0, result.status) << result.errors;
  EXPECT_TRUE(Contains(result.output,
                       "Install QS System (slave mode) [y/n] ?: \n"
                       "Installation aborted.\n\n"));
  EXPECT_FALSE(Exists(Upper("/usr/vantrel")));
}

TEST_F(InstallTest, LicenceMustExistAndBeAccepted) {
  TSandboxResult result = Install(Lines({"1", "n", "n", "y", "n", "n", "n"}));
  EXPECT_EQ(0, result.status) << result.errors;
  EXPECT_TRUE(Contains(result.output, "AGREE LICENCE [y/n] ?: Installation aborted.\n\n"));
  EXPECT_FALSE(Contains(result.output, "modules"));
  EXPECT_FALSE(Exists(Upper("/usr/vantrel")));

  std::filesystem::remove(packet_ + "/texts/licence_english.txt");
  result = Install(Lines({"1", "y"}));
  EXPECT_TRUE(Contains(result.output, "Selection [1..2]: Installation aborted.\n\n"));
  EXPECT_FALSE(Contains(result.output, "AGREE"));

  // Without an entry the path is the packet's directory, which exists.
  ASSERT_TRUE(WriteFile(packet_ + "/install.dat",
                        WithSection(kDefaultPacket, "Info", "Modules=texts/modules_$.txt")));
  result = Install(Lines({"1", "n"}));
  EXPECT_TRUE(Contains(result.output, "AGREE LICENCE [y/n] ?: Installation aborted."));
  EXPECT_FALSE(Exists(Upper("/usr/vantrel")));
}

TEST_F(InstallTest, MissingPacketOrLanguagesAbort) {
  ASSERT_TRUE(WriteFile(packet_ + "/install.dat", WithoutSection(kDefaultPacket, "Languages")));
  TSandboxResult result = Install(Lines({"1", "y"}));
  EXPECT_EQ(0, result.status);
  EXPECT_EQ(Banner() + "No languages file found !  Installation aborted.\n\n", result.output);

  std::filesystem::remove(packet_ + "/install.dat");
  result = Install(Lines({"1", "y"}));
  EXPECT_EQ(0, result.status);
  EXPECT_EQ(Banner() + "Install packet appears corrupted !  Installation aborted.\n\n",
            result.output);
  EXPECT_FALSE(Exists(Upper("/usr/vantrel")));
}

TEST_F(InstallTest, CorruptedPacketStopsWithEarlierFilesInstalled) {
  ASSERT_TRUE(WriteFile(packet_ + "/install.dat",
                        WithSection(kDefaultPacket, "QS System",
                                    "bin/qslx|bin/qslx|e\nbin/startqslx|bin/startqslx|")));
  TSandboxResult result = Install(QsOnly("n", "n", "n"));
  EXPECT_EQ(0, result.status);
  EXPECT_TRUE(Contains(result.output,
                       "Install QS System files:\nCopying qslx....OK\n"
                       "Setting permission to qslx....OK\n\n"
                       "Install packet appears corrupted !\n\nInstallation aborted.\n\n"));
  ExpectFile("bin/qslx", 0770);
  EXPECT_FALSE(Exists(Installed("bin/startqslx")));
  EXPECT_FALSE(Exists(Installed("bin/voltmon.cfg")));
  EXPECT_EQ((TTextList{"DIR:/usr/vantrel/voltmon/", "FILE:e:/usr/vantrel/voltmon/bin/qslx"}),
            LogEntries());

  ASSERT_TRUE(WriteFile(packet_ + "/install.dat", WithoutSection(kDefaultPacket, "Common")));
  result = Install(QsOnly("n", "n", "n"));
  EXPECT_TRUE(Contains(result.output,
                       "Setting permission to shutdown.sh....OK\n\n"
                       "Install Common files:\n\n"
                       "Install packet appears corrupted !\n\n"
                       "Installation aborted.\n\n"));
  EXPECT_FALSE(Exists(Installed("bin/voltmon.cfg")));
}

// A destination outside the installation directory, or naming the directory
// itself, is a corrupted line: nothing is copied or changed for it.
TEST_F(InstallTest, DestinationOutsideTheInstallationIsCorrupted) {
  for (const char* destination : {"../../../etc/escape.cfg", "/etc/escape.cfg", ""}) {
    SCOPED_TRACE(std::string("'") + destination + "'");
    WriteFile(packet_ + "/install.dat",
              WithSection(kDefaultPacket, "QS System",
                          std::string("bin/qslx|bin/qslx|e\nbin/qslx.cfg|") + destination + "|r"));
    const TSandboxResult result = Install(QsOnly("n", "n", "n"));
    EXPECT_EQ(0, result.status);
    EXPECT_TRUE(Contains(result.output,
                         "Setting permission to qslx....OK\n\n"
                         "Install packet appears corrupted !\n\nInstallation aborted.\n\n"))
        << result.output;
    EXPECT_FALSE(Contains(result.output, "Setup completed."));
    EXPECT_FALSE(Exists(Upper("/etc/escape.cfg")));
    EXPECT_FALSE(Exists(Installed("bin/voltmon.cfg")));
    struct stat st;
    ASSERT_TRUE(StatPath(Installed(""), &st));
    EXPECT_EQ(0700u, st.st_mode & 0700) << "the installation directory keeps its mode";
  }
}

TEST_F(InstallTest, FailedCopyIsReportedAndEndsTheRun) {
  ASSERT_TRUE(WriteFile(packet_ + "/install.dat",
                        WithSection(kDefaultPacket, "QS System",
                                    "bin/qslx|bin/qslx|e\nbin/missing|bin/missing|e\n"
                                    "bin/startqslx|bin/startqslx|e")));
  const TSandboxResult result = Install(QsOnly("n", "n", "n"));
  EXPECT_EQ(0, result.status);
  EXPECT_TRUE(Contains(result.output,
                       "Setting permission to qslx....OK\nCopying missing....KO\n"
                       "Could not copy " +
                           packet_ +
                           "/bin/missing to /usr/vantrel/voltmon/bin/missing\n\n"
                           "Installation aborted.\n\n"));
  ExpectFile("bin/qslx", 0770);
  EXPECT_FALSE(Exists(Installed("bin/startqslx")));
}

TEST_F(InstallTest, MissingInitDirectoriesDoNotStopTheRun) {
  const std::string error =
      "\ninit.d and/or rc.d directories not found! Please create your symbolink links "
      "manually.\n\n";
  TSandboxResult result = Install(QsOnly("n", "y", "n"), kNoInitDirectories);
  EXPECT_EQ(0, result.status) << result.errors;
  EXPECT_TRUE(Contains(result.output, "at system startup [y/n] ?: " + error +
                                          "\nDo you want to start QS System now [y/n] ?: "));
  EXPECT_TRUE(Contains(result.output, "Setup completed."));

  result = Install(QsOnly("n", "y", "n"), std::string(kNoInitDirectories) + "mkdir /etc/init.d\n");
  EXPECT_TRUE(Contains(result.output, "at system startup [y/n] ?: " + error));
  EXPECT_FALSE(Exists(Upper("/etc/init.d/startqslx")));
}

TEST_F(InstallTest, OtherInitLayoutsAndAFailedLink) {
  TSandboxResult result =
      Install(QsOnly("n", "y", "n"), std::string(kNoInitDirectories) +
                                         "mkdir -p /etc/rc.d/init.d /etc/rc.d/rc2.d "
                                         "/etc/rc.d/rc3.d /etc/rc.d/rc5.d\n");
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_TRUE(Contains(result.output,
                       "Copying startqslx....OK\n"
                       "Creating start symbolic link to /etc/rc.d/rc2.d/....OK\n"));
  char target[256] = {};
  ASSERT_GT(readlink(Upper("/etc/rc.d/rc5.d/K20startqslx").c_str(), target, sizeof target - 1), 0);
  EXPECT_STREQ("/etc/rc.d/init.d/startqslx", target);

  result = Install(QsOnly("n", "y", "n"),
                   std::string(kNoInitDirectories) + "mkdir -p /etc/init.d /etc/rc2.d\n");
  EXPECT_TRUE(Contains(result.output,
                       "Creating start symbolic link to /etc/rc2.d/....OK\n"
                       "Creating start symbolic link to /etc/rc3.d/....KO\n"
                       "Could not create symbolic link to /etc/rc3.d/\n\n"
                       "\nDo you want to start QS System now [y/n] ?: "));
  EXPECT_TRUE(Contains(result.output, "Setup completed."));
  EXPECT_TRUE(Exists(Upper("/etc/rc2.d/S90startqslx")));
  EXPECT_FALSE(Exists(Upper("/etc/rc2.d/K20startqslx")));
  EXPECT_EQ("FILE:r:/etc/rc2.d/S90startqslx", LogEntries().back());
}

TEST_F(InstallTest, SecondRunOverwritesFilesAndRestartsTheLog) {
  ASSERT_EQ(0, Install(Lines({"1", "y", "n", "y", "y", "n", "y", "n", "y", "n", "n"})).status);
  EXPECT_GT(LogEntries().size(), 20u);
  ASSERT_TRUE(WriteFile(packet_ + "/bin/qslx", "#!/bin/sh\necho second\n", 0755));
  const TSandboxResult result = Install(QsOnly("n", "n", "n"));
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_EQ("#!/bin/sh\necho second\n", ReadFile(Installed("bin/qslx")));
  ExpectFile("bin/voltmon.cfg", 0440);
  const TTextList expected = {
      "DIR:/usr/vantrel/voltmon/",
      "FILE:e:/usr/vantrel/voltmon/bin/qslx",
      "FILE:e:/usr/vantrel/voltmon/bin/startqslx",
      "FILE:w:/usr/vantrel/voltmon/bin/qslx.cfg",
      "FILE:e:/usr/vantrel/voltmon/script/system/shutdown.sh",
      "FILE:r:/usr/vantrel/voltmon/languages/english.lng",
      "FILE:E:/usr/vantrel/voltmon/help/voltmon.txt",
  };
  EXPECT_EQ(expected, LogEntries());
  EXPECT_TRUE(Contains(ReadFile(Installed("bin/voltmon.cfg")), "LanguageFile=english.lng\n"));
}

TEST_F(InstallTest, OnlyRootMayInstall) {
  const TSandboxResult result =
      sandbox_.Run("runuser -u nobody -- " + Quoted(packet_ + "/install"), QsOnly("n", "n", "n"));
  EXPECT_EQ(0, result.status) << result.errors;
  EXPECT_EQ(Banner() + "Please login as root to use this program !\n\nInstallation aborted.\n\n",
            result.output);
  EXPECT_FALSE(Exists(Upper("/usr/vantrel")));
}

TEST_F(InstallTest, VersionAndCreditsAnywhereAmongTheArguments) {
  const TSandboxResult result = sandbox_.Run(Quoted(packet_ + "/install") + " x -cr y -v", "");
  EXPECT_EQ(0, result.status);
  const std::string version =
      "Voltmon Manager\nSetup program - version 1.0.7.9\n" + std::string(kRightsNotice) + "\n\n";
  ASSERT_EQ(0u, result.output.rfind(version, 0)) << result.output;
  const TTextList credits = LinesOf(result.output.substr(version.size()));
  ASSERT_EQ(2u, credits.size());
  EXPECT_EQ(0u, credits[0].rfind("Designed and developed by ", 0));
  EXPECT_EQ("", credits[1]);
  EXPECT_FALSE(Exists(Upper("/usr/vantrel")));
}

TEST_F(InstallTest, PacketPathWithBlanksAndShellCharacters) {
  const std::string odd = scratch_.Sub("My Disk; $(touch x) 'q'");
  MakePacket(odd, kDefaultPacket);
  const TSandboxResult result = Install(QsOnly("n", "y", "n"), kEtcInitLayout, odd);
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_TRUE(Contains(result.output, "Setup completed."));
  EXPECT_TRUE(Contains(result.output, odd + "/texts/licence_english.txt"));
  ExpectFile("bin/qslx", 0770);
  ExpectFile("languages/english.lng", 0440);
  EXPECT_TRUE(Exists(Upper("/etc/rc3.d/S90startqslx")));
  EXPECT_FALSE(Exists(scratch_.Sub("x")));
  EXPECT_FALSE(Exists(scratch_.Sub("sandbox/run-1/x")));
}

// The packet the build made, installed as a user would, then the installed
// daemon started by the installer and given orders by the stand-in master;
// the master's start-up script, without a master server to start, says so.
TEST(InstalledPacket, InstallerStartsTheDaemonWhichCarriesOutOrders) {
  TTempDir scratch("vminstall", 0755);
  TSandbox sandbox(scratch.Sub("sandbox"));
  // The shipped order scripts act on the machine; here they only record.
  const std::string after =
      "bin=/usr/vantrel/voltmon/bin\n"
      "for s in shutdown message; do\n"
      "  printf '#!/bin/sh\\necho \"%s $# [$1]\" >> /usr/vantrel/voltmon/data/record\\n' $s "
      "> /usr/vantrel/voltmon/script/system/$s.sh\n"
      "done\n"
      "$bin/startqslx status > daemon.out 2>&1\n"
      // Its start event is logged once it listens.
      "for i in $(seq 50); do\n"
      "  [ -s /usr/vantrel/voltmon/data/qs_log.txt ] && break\n"
      "  sleep 0.1\n"
      "done\n"
      "m=" VM_QSMASTER_PATH
      "\n"
      // As shipped no master is allowed; the orders need one configured.
      "$m send 127.0.0.1 6005 0 > refused.out 2>&1\n"
      "sed -i 's/^Adr0=$/Adr0=127.0.0.1/' $bin/qslx.cfg\n"
      "$bin/startqslx restart > restart.out 2>&1\n"
      "$m send 127.0.0.1 6005 0 > master.out 2>&1\n"
      "$m send 127.0.0.1 6005 1 'Hello there' >> master.out 2>&1\n"
      "for i in $(seq 50); do\n"
      "  [ \"$(wc -l 2> /dev/null < /usr/vantrel/voltmon/data/record)\" = 2 ] && break\n"
      "  sleep 0.1\n"
      "done\n"
      "$bin/startqslx stop >> daemon.out 2>&1\n"
      "$bin/startqslx status >> daemon.out 2>&1\n"
      "/etc/init.d/startwksrv start > wksrv.out 2>&1\n"
      "echo \"status $?\" >> wksrv.out\n"
      "/etc/init.d/startwksrv stop >> wksrv.out 2>&1\n"
      "/etc/init.d/startwksrv status >> wksrv.out 2>&1\n";
  const TSandboxResult result = sandbox.Run(
      Quoted(std::string(VM_PACKET_DIR) + "/install"),
      Lines({"2", "y", "n", "y", "y", "n", "y", "n", "y", "y", "n"}), kEtcInitLayout, after);
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_NE(std::string::npos,
            result.output.find("Do you want to start QS System now [y/n] ?: \n\n"
                               "Do you want to read informations [y/n] ?: \n\nSetup completed."));
  const std::string dir = sandbox.LastRunDir();
  EXPECT_EQ("greeting: <|KO|>\n", ReadFile(dir + "/refused.out"));
  EXPECT_EQ("greeting: <|ok|>\nsent: <|1|0|>\ngreeting: <|ok|>\nsent: <|1|1|Hello there|>\n",
            ReadFile(dir + "/master.out"));
  const std::string daemon = ReadFile(dir + "/daemon.out");
  EXPECT_EQ(0u, daemon.find("qslx is running (PID ")) << daemon;
  // The installer started it with its output sent to /dev/null.
  EXPECT_NE(std::string::npos, daemon.find(")\nqslx is not running\n")) << daemon;

  // The master server ships where NUT's client library is found; it starts
  // without a configuration of its own and watches no UPS that answers.
  if (FileExists(std::string(VM_PACKET_DIR) + "/bin/wksrv")) {
    EXPECT_EQ("Wattkeep: coming up...\nWattkeep: daemon started\nstatus 0\nWattkeep: not running\n",
              ReadFile(dir + "/wksrv.out"));
  } else {
    EXPECT_EQ(
        "Wattkeep: the master server /usr/vantrel/voltmon/bin/wksrv is not installed; nothing "
        "started.\nstatus 5\nWattkeep: not running\nWattkeep: not running\n",
        ReadFile(dir + "/wksrv.out"));
  }

  const std::string data = sandbox.Upper("/usr/vantrel/voltmon/data/");
  // The scripts run in parallel, in no fixed order.
  TTextList records = LinesOf(ReadFile(data + "record"));
  std::sort(records.begin(), records.end());
  EXPECT_EQ((TTextList{"message 1 [\"Hello there\"]", "shutdown 1 []"}), records);
  const TTextList log = LinesOf(ReadFile(data + "qs_log.txt"));
  ASSERT_EQ(7u, log.size()) << ReadFile(data + "qs_log.txt");
  TTextList texts;
  for (const std::string& line : log) {
    // "dd/MM/yyyy hh:mm:ss  text"
    ASSERT_GT(line.size(), 21u);
    EXPECT_EQ("  ", line.substr(19, 2)) << line;
    texts.push_back(line.substr(21));
  }
  // Each order is logged by its own connection's thread.
  std::sort(texts.begin() + 4, texts.end() - 1);
  EXPECT_EQ((TTextList{"QS-System-Dienst gestartet",
                       "Auftrag abgelehnt: 127.0.0.1 ist kein zugelassener Master-Server",
                       "QS-System-Dienst gestoppt", "QS-System-Dienst gestartet",
                       "Herunterfahren angeordnet von 127.0.0.1", "Meldung empfangen von 127.0.0.1",
                       "QS-System-Dienst gestoppt"}),
            texts);
  EXPECT_EQ(
      "[Globals]\nProductVersion=1.0\nInstallPath=/usr/vantrel/voltmon/\n"
      "LanguageFile=deutsch.lng\n",
      ReadFile(sandbox.Upper("/usr/vantrel/voltmon/bin/voltmon.cfg")));
}

// Taking the installer's offer to configure the master module runs the
// console just installed from the packet; with the answers on a pipe it has
// no terminal and says so, after its start-up checks have all passed.
TEST(InstalledPacket, OfferToConfigureTheMasterRunsTheInstalledConsole) {
  TTempDir scratch("vminstall", 0755);
  TSandbox sandbox(scratch.Sub("sandbox"));
  const TSandboxResult result =
      sandbox.Run(Quoted(std::string(VM_PACKET_DIR) + "/install"),
                  Lines({"1", "y", "n", "y", "n", "y", "n", "n"}), kEtcInitLayout);
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_NE(std::string::npos,
            result.output.find("Do you want to configure Wattkeep now [y/n] ?: "))
      << result.output;
  EXPECT_EQ(std::string::npos, result.output.find("To configure Wattkeep run")) << result.output;
  EXPECT_EQ(std::string::npos, result.output.find("Invalid setup")) << result.output;
  EXPECT_NE(std::string::npos,
            result.errors.find("wkcfg: needs a terminal: standard input and output must be one"))
      << result.errors;
}

}  // namespace
}  // namespace installtest
