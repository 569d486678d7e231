// The stand-in master tool against the real daemon.

#include "tests/qslx/daemon_fixture.h"

namespace {

using Lines = std::vector<std::string>;

TRunResult Qsmaster(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {QsmasterBinary()};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv);
}

TEST_F(DaemonTest, QsmasterSendReportsAcceptedRefusedAndFailedOrders) {
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  const std::string port = std::to_string(port_);

  TRunResult message = Qsmaster({"send", "127.0.0.1", port, "1", "Mains lost", "--id", "7"});
  EXPECT_EQ(message.exit_code, 0) << message.err;
  EXPECT_EQ(LinesOf(message.out), (Lines{"greeting: <|ok|>", "sent: <|7|1|Mains lost|>"}));
  ASSERT_TRUE(WaitForLogText("MESSAGE by 127.0.0.1"));
  ASSERT_TRUE(WaitUntil([&] { return tree_->Runs("message.sh").size() == 1; }, 3000));
  EXPECT_EQ(tree_->Runs("message.sh")[0].args, Lines{"\"Mains lost\""});

  TRunResult refused = Qsmaster({"send", "127.0.0.1", port, "0", "--bind", "127.0.0.2"});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(refused.out, "greeting: <|KO|>\n");
  ASSERT_TRUE(WaitForLogText("REFUSED 127.0.0.2"));

  TRunResult raw = Qsmaster({"send", "127.0.0.1", port, "--raw", "<|9|2|>"});
  EXPECT_EQ(raw.exit_code, 0) << raw.err;
  ASSERT_TRUE(WaitForLogText("CUSTOM1 by 127.0.0.1"));

  TRunResult plain = Qsmaster({"send", "127.0.0.1", port, "--plain", "<|1|0|>"});
  EXPECT_EQ(plain.exit_code, 0) << plain.err;
  ASSERT_TRUE(WaitForLogText("UNKNOWN by 127.0.0.1"));
  EXPECT_TRUE(tree_->Runs("shutdown.sh").empty());

  TRunResult nobody = Qsmaster({"send", "127.0.0.1", std::to_string(port_ + 1), "0"});
  EXPECT_EQ(nobody.exit_code, 2);
  EXPECT_EQ(nobody.out, "");
  EXPECT_NE(nobody.err.find("cannot connect"), std::string::npos) << nobody.err;

  TRunResult usage = Qsmaster({"send", "127.0.0.1", port});
  EXPECT_EQ(usage.exit_code, 2);
  EXPECT_NE(usage.err.find("--help"), std::string::npos);
}

// The daemon would greet and then drop the line unread: the order is
// refused before connecting, the limit named, and nothing reaches the log.
TEST_F(DaemonTest, QsmasterRefusesAnOrderPastTheDaemonsLineLimit) {
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  const std::string port = std::to_string(port_);
  TRunResult big = Qsmaster({"send", "127.0.0.1", port, "1", std::string(2100, 'm')});
  EXPECT_EQ(big.exit_code, 2);
  EXPECT_EQ(big.out, "");
  EXPECT_NE(big.err.find("past the daemon's limit of 4096 bytes"), std::string::npos) << big.err;
  TRunResult small = Qsmaster({"send", "127.0.0.1", port, "1", "Mains lost"});
  EXPECT_EQ(small.exit_code, 0) << small.err;
  ASSERT_TRUE(WaitForLogText("MESSAGE by 127.0.0.1"));
  for (const std::string& text : LogTexts()) EXPECT_EQ(text.find("UNKNOWN"), std::string::npos);
}

TEST(Qsmaster, VersionIsTheMasterModules) {
  TRunResult version = Qsmaster({"-v"});
  EXPECT_EQ(version.exit_code, 0) << version.err;
  EXPECT_EQ(version.out.rfind("Voltmon Manager\nqsmaster - Version 1.0.16.0\n", 0), 0u)
      << version.out;
}

}  // namespace
