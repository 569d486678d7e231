#include "tools/qsmaster_args.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

MasterArgs ParseOk(const Args& args) {
  MasterArgs parsed;
  std::string error;
  EXPECT_TRUE(ParseMasterArgs(args, &parsed, &error)) << error;
  return parsed;
}

TEST(MasterArgs, SendBuildsTheMastersFrames) {
  MasterArgs parsed = ParseOk({"send", "10.0.0.5", "6005", "0"});
  EXPECT_EQ(parsed.mode, MasterArgs::Mode::kSend);
  EXPECT_EQ(parsed.send.host, "10.0.0.5");
  EXPECT_EQ(parsed.send.port, 6005);
  EXPECT_EQ(parsed.send.line, "<|1|0|>");
  EXPECT_FALSE(parsed.send.plain);
  EXPECT_EQ(ParseOk({"send", "h", "1", "1", "Power is back", "--id", "42"}).send.line,
            "<|42|1|Power is back|>");
  MasterArgs options = ParseOk({"send", "--bind", "127.0.0.2", "h", "2", "3", "--timeout", "9"});
  EXPECT_EQ(options.send.line, "<|1|3|>");
  EXPECT_EQ(options.send.bind, "127.0.0.2");
  EXPECT_EQ(options.send.timeout_seconds, 9);
}

TEST(MasterArgs, RawAndPlainLinesAreSentAsGiven) {
  MasterArgs raw = ParseOk({"send", "h", "7", "--raw", "<1|0>"});
  EXPECT_EQ(raw.send.line, "<1|0>");
  EXPECT_FALSE(raw.send.plain);
  MasterArgs plain = ParseOk({"send", "h", "7", "--plain", "<|1|0|>"});
  EXPECT_EQ(plain.send.line, "<|1|0|>");
  EXPECT_TRUE(plain.send.plain);
}

TEST(MasterArgs, ServeAliveDefaultsToTheHealthyReply) {
  MasterArgs parsed = ParseOk({"serve-alive", "65000"});
  EXPECT_EQ(parsed.mode, MasterArgs::Mode::kServe);
  EXPECT_EQ(parsed.serve.port, 65000);
  EXPECT_EQ(parsed.serve.bind, "0.0.0.0");
  EXPECT_EQ(parsed.serve.reply, "<|5|Vantrel Wattkeep|>");
  EXPECT_EQ(parsed.serve.count, 0);
  MasterArgs custom =
      ParseOk({"serve-alive", "7", "--silent", "--count", "2", "--reply", "<|6|>", "--bind", "::"});
  EXPECT_TRUE(custom.serve.silent);
  EXPECT_EQ(custom.serve.count, 2);
  EXPECT_EQ(custom.serve.reply, "<|6|>");
}

TEST(MasterArgs, HelpWinsAnywhere) {
  EXPECT_EQ(ParseOk({"--help"}).mode, MasterArgs::Mode::kHelp);
  EXPECT_EQ(ParseOk({"send", "-h"}).mode, MasterArgs::Mode::kHelp);
}

TEST(MasterArgs, RefusesUnusableLines) {
  const std::vector<Args> bad = {
      {},
      {"sned", "h", "1", "0"},
      {"send", "h", "1"},
      {"send", "h", "0", "0"},
      {"send", "h", "65536", "0"},
      {"send", "h", "x", "0"},
      {"send", "h", "1", "zero"},
      {"send", "h", "1", "9"},
      {"send", "h", "1", "-1"},
      {"send", "h", "1", "5"},
      {"send", "h", "1", "1", "a|b"},
      {"send", "h", "1", "1", "a", "b"},
      {"send", "h", "1", "0", "--id", "1.5"},
      {"send", "h", "1", "0", "--timeout", "0"},
      {"send", "h", "1", "0", "--bind"},
      {"send", "h", "1", "--raw", "x", "--plain", "y"},
      {"send", "h", "1", "0", "--raw", "x"},
      {"send", "h", "1", "0", "--frobnicate"},
      {"serve-alive"},
      {"serve-alive", "1", "2"},
      {"serve-alive", "1", "--count", "0"},
  };
  for (const Args& args : bad) {
    MasterArgs parsed;
    std::string error;
    EXPECT_FALSE(ParseMasterArgs(args, &parsed, &error)) << ::testing::PrintToString(args);
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
