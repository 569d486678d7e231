#include "common/console.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/support/temp_dir.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(PrintMessage, IdentPrefixOnlyWhenGiven) {
  CaptureStdout();
  PrintMessage("QS System", "daemon started");
  PrintMessage("", "daemon started");
  PrintMessage("X", "");
  EXPECT_EQ(GetCapturedStdout(), "QS System: daemon started\ndaemon started\nX: \n");
}

// Points descriptor `fd` at `target` until destroyed.
class Redirect {
 public:
  Redirect(int fd, int target) : fd_(fd), saved_(dup(fd)) {
    std::fflush(nullptr);
    EXPECT_GE(dup2(target, fd), 0);
  }
  ~Redirect() {
    std::fflush(nullptr);
    dup2(saved_, fd_);
    close(saved_);
  }

 private:
  int fd_;
  int saved_;
};

// A terminal in raw mode, so that what is written arrives byte for byte.
struct Terminal {
  Terminal() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(master, 0);
    EXPECT_EQ(grantpt(master), 0);
    EXPECT_EQ(unlockpt(master), 0);
    slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    EXPECT_GE(slave, 0);
    termios mode;
    tcgetattr(slave, &mode);
    cfmakeraw(&mode);
    tcsetattr(slave, TCSANOW, &mode);
  }
  ~Terminal() {
    close(slave);
    close(master);
  }
  std::string Read() const {
    std::string text;
    char buffer[512];
    pollfd ready = {master, POLLIN, 0};
    while (poll(&ready, 1, 100) == 1) {
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<size_t>(n));
    }
    return text;
  }
  int master = -1;
  int slave = -1;
};

TEST(PrintAlert, BellBeforeEachAlertOnTheTerminalNearestTheUser) {
  TTempDir temp("console_test");
  const int file = open(temp.Sub("out").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(file, 0);
  {
    // Standard output the terminal, standard error a file: all on output.
    Terminal terminal;
    {
      Redirect out(STDOUT_FILENO, terminal.slave);
      Redirect err(STDERR_FILENO, file);
      PrintAlert("alert");
      PrintInvalidSetup();
      PrintCredits();
    }
    EXPECT_EQ(terminal.Read(),
              "\aalert\n"
              "\aInvalid setup. Pls. uninstall and then install this software again.\n"
              "Designed and developed by the Voltmon Manager team\n"
              "\n");
  }
  {
    // Standard error the terminal: the bell goes there, the text stays on
    // standard output.
    Terminal terminal;
    {
      Redirect out(STDOUT_FILENO, file);
      Redirect err(STDERR_FILENO, terminal.slave);
      PrintAlert("alert");
    }
    EXPECT_EQ(terminal.Read(), "\a");
    EXPECT_EQ(ReadFile(temp.Sub("out")), "alert\n");
  }
  close(file);
}
