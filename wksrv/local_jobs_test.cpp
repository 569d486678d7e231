#include "wksrv/local_jobs.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"

namespace {

// A pseudo-terminal pair: the server side is read back by the test.
struct Pty {
  Pty() {
    server = posix_openpt(O_RDWR | O_NOCTTY);
    if (server >= 0 && grantpt(server) == 0 && unlockpt(server) == 0) {
      const char* name = ptsname(server);
      if (name != nullptr) path = name;
    }
  }
  ~Pty() {
    if (server >= 0) close(server);
  }
  std::string ReadAll() const {
    std::string text;
    char buffer[512];
    pollfd p = {server, POLLIN, 0};
    while (poll(&p, 1, 200) > 0) {
      ssize_t got = read(server, buffer, sizeof buffer);
      if (got <= 0) break;
      text.append(buffer, static_cast<size_t>(got));
    }
    return text;
  }
  int server = -1;
  std::string path;
};

TEST(Popup, TheMessageReachesATerminalOnOneLineAfterABell) {
  const std::string text = PopupText("Mains\rfailure\n", "09/12/2026 13:00:00");
  EXPECT_EQ(text,
            "\a\r\nMessage from the UPS master server wksrv (09/12/2026 13:00:00):\r\n\r\n"
            "Mains failure \r\n\r\n");
  Pty pty;
  ASSERT_FALSE(pty.path.empty());
  // Kept open so that the terminal keeps its settings while it is written.
  int keep = open(pty.path.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(keep, 0);
  std::string error;
  ASSERT_TRUE(WriteToTerminal(pty.path, "hello\r\n", &error)) << error;
  EXPECT_NE(pty.ReadAll().find("hello"), std::string::npos);
  close(keep);
}

TEST(Popup, OnlyTerminalsAreWritten) {
  TTempDir dir("popup");
  const std::string file = dir.Sub("file");
  ASSERT_TRUE(WriteFile(file, "untouched"));
  ASSERT_EQ(symlink("/dev/null", dir.Sub("link").c_str()), 0);
  std::string error;
  EXPECT_FALSE(WriteToTerminal(file, "x", &error));
  EXPECT_NE(error.find("not a terminal"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(file), "untouched");
  EXPECT_FALSE(WriteToTerminal(dir.Sub("link"), "x", &error));
  EXPECT_FALSE(WriteToTerminal("/dev/null", "x", &error));
  EXPECT_FALSE(WriteToTerminal(dir.Sub("missing"), "x", &error));
}

TEST(StartProgram, StartsDirectlyWithItsArgumentsAndReportsWhatCannotStart) {
  TTempDir dir("start");
  const std::string script = dir.Sub("record.sh");
  const std::string out = dir.Sub("out");
  ASSERT_TRUE(WriteFile(
      script, "#!/bin/sh\nprintf '%s|' \"$@\" > " + out + ".tmp\nmv " + out + ".tmp " + out + "\n",
      0755));
  std::string error;
  ASSERT_TRUE(StartProgram({script, "0", "Mains failure; rm -rf /"}, &error)) << error;
  ASSERT_TRUE(WaitUntil([&] { return FileExists(out); }, 5000));
  EXPECT_EQ(ReadFile(out), "0|Mains failure; rm -rf /|");
  // Nobody waits for it, yet it leaves no zombie behind.
  EXPECT_TRUE(WaitUntil(
      [] {
        siginfo_t info{};
        return waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == 0;
      },
      5000));

  EXPECT_FALSE(StartProgram({dir.Sub("missing.sh")}, &error));
  EXPECT_NE(error.find("missing.sh"), std::string::npos) << error;
  ASSERT_TRUE(WriteFile(dir.Sub("plain"), "not executable", 0644));
  EXPECT_FALSE(StartProgram({dir.Sub("plain")}, &error));
  EXPECT_FALSE(StartProgram({}, &error));
}

TEST(StartProgram, ACommandLineIsCutAtBlanksOnly) {
  using Words = std::vector<std::string>;
  EXPECT_EQ(SplitCommand("/sbin/shutdown -h now"), (Words{"/sbin/shutdown", "-h", "now"}));
  EXPECT_EQ(SplitCommand("  /x\t-a   'b c' $HOME;ls "),
            (Words{"/x", "-a", "'b", "c'", "$HOME;ls"}));
  EXPECT_EQ(SplitCommand(" \t "), Words{});
}

}  // namespace
