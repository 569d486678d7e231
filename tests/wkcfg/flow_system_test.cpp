// The console's program flow in a real terminal: start, menus, the ways
// out and what each leaves on disk and in the terminal.
#include <signal.h>

#include "tests/wkcfg/console_session.h"

namespace {

const char kTitle[] = "Wattkeep Configuration";

TEST(ConsoleFlow, ExitLeavesTheConfigurationByteForByte) {
  const std::string config = ServerConfig(kTestModel, "Unknown=kept\r\n[Other]\nx=1\n");
  ConsoleSession console(config);
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Shows("Events Configuration"));
  ASSERT_TRUE(console.Keys({"Up", "Enter"}));
  ASSERT_TRUE(console.EndedCleanly());
  EXPECT_EQ(config, console.Config());
}

TEST(ConsoleFlow, TerminationSignalsGiveTheTerminalBackAndSaveNothing) {
  for (int signal : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    ConsoleSession console;
    const std::string before = console.Config();
    ASSERT_TRUE(console.Start());
    ASSERT_TRUE(console.Shows(kTitle));
    ASSERT_TRUE(console.Signal(signal));
    ASSERT_TRUE(console.EndedCleanly());
    EXPECT_EQ(before, console.Config());
  }
}

}  // namespace
