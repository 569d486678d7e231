#include "install/commands.h"

#include <gtest/gtest.h>

TEST(ShellQuote, PlainPathsStayAsTheyAre) {
  EXPECT_EQ("/usr/vantrel/voltmon/bin/qslx", ShellQuote("/usr/vantrel/voltmon/bin/qslx"));
  EXPECT_EQ("a-b_c+d,e:f@g%h.txt", ShellQuote("a-b_c+d,e:f@g%h.txt"));
}

TEST(ShellQuote, BlanksAndShellCharactersMakeOneQuotedWord) {
  EXPECT_EQ("'/media/My Disk/bin/qslx'", ShellQuote("/media/My Disk/bin/qslx"));
  EXPECT_EQ("'a;rm -rf x'", ShellQuote("a;rm -rf x"));
  EXPECT_EQ("'$HOME'", ShellQuote("$HOME"));
  EXPECT_EQ("'a`b`'", ShellQuote("a`b`"));
  EXPECT_EQ("'it'\\''s'", ShellQuote("it's"));
  EXPECT_EQ("''", ShellQuote(""));
}

TEST(PermissionCommand, ModeLetterChoosesModeCaseSensitively) {
  EXPECT_EQ(
      "chown root:0 /usr/vantrel/voltmon/bin/qslx && chmod 770 /usr/vantrel/voltmon/bin/qslx > "
      "/dev/null",
      PermissionCommand("e", "/usr/vantrel/voltmon/bin/qslx"));
  EXPECT_EQ("chown root:0 /x && chmod 660 /x > /dev/null", PermissionCommand("w", "/x"));
  EXPECT_EQ("chown root:0 /x && chmod 440 /x > /dev/null", PermissionCommand("E", "/x"));
  EXPECT_EQ("chown root:0 /x && chmod 440 /x > /dev/null", PermissionCommand("r", "/x"));
  EXPECT_EQ("chown root:0 /x && chmod 440 /x > /dev/null", PermissionCommand("", "/x"));
}

TEST(Commands, EveryPathIsQuotedInComposedLines) {
  EXPECT_EQ("cp -f '/m/My Disk/a' /usr/x > /dev/null", CopyCommand("/m/My Disk/a", "/usr/x"));
  EXPECT_EQ("chown root:0 '/a b' && chmod 770 '/a b' > /dev/null", PermissionCommand("e", "/a b"));
  EXPECT_EQ("ln -s -f /etc/init.d/s '/etc/rc2.d/S90s x' > /dev/null",
            LinkCommand("/etc/init.d/s", "/etc/rc2.d/S90s x"));
  EXPECT_EQ("more '/m/My Disk/licence.txt'; sleep 1 2> /dev/null",
            PagerCommand("/m/My Disk/licence.txt", true));
}

TEST(PagerCommand, PipedAnswersAreKeptFromThePager) {
  EXPECT_EQ("more /p/licence.txt; sleep 1 2> /dev/null", PagerCommand("/p/licence.txt", true));
  EXPECT_EQ("more /p/licence.txt < /dev/null; sleep 1 2> /dev/null",
            PagerCommand("/p/licence.txt", false));
}
