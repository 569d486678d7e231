#include "tools/qsmaster_args.h"

#include <gtest/gtest.h>

#include "qslx/request_line.h"

namespace {

using Args = std::vector<std::string>;

TMasterArgs ParseOk(const Args& args) {
  TMasterArgs parsed;
  std::string error;
  EXPECT_TRUE(ParseMasterArgs(args, &parsed, &error)) << error;
  return parsed;
}

TEST(TMasterArgs, SendBuildsTheMastersFrames) {
  TMasterArgs parsed = ParseOk({"send", "10.0.0.5", "6005", "0"});
  EXPECT_EQ(parsed.mode, TMasterArgs::TMode::kSend);
  EXPECT_EQ(parsed.send.host, "10.0.0.5");
  EXPECT_EQ(parsed.send.port, 6005);
  EXPECT_EQ(parsed.send.line, "<|1|0|>");
  EXPECT_FALSE(parsed.send.plain);
  EXPECT_EQ(ParseOk({"send", "h", "1", "1", "Power is back", "--id", "42"}).send.line,
            "<|42|1|Power is back|>");
  TMasterArgs options = ParseOk({"send", "--bind", "127.0.0.2", "h", "2", "3", "--timeout", "9"});
  EXPECT_EQ(options.send.line, "<|1|3|>");
  EXPECT_EQ(options.send.bind, "127.0.0.2");
  EXPECT_EQ(options.send.timeout_seconds, 9);
}

TEST(TMasterArgs, RawAndPlainLinesAreSentAsGiven) {
  TMasterArgs raw = ParseOk({"send", "h", "7", "--raw", "<1|0>"});
  EXPECT_EQ(raw.send.line, "<1|0>");
  EXPECT_FALSE(raw.send.plain);
  TMasterArgs plain = ParseOk({"send", "h", "7", "--plain", "<|1|0|>"});
  EXPECT_EQ(plain.send.line, "<|1|0|>");
  EXPECT_TRUE(plain.send.plain);
}

TEST(TMasterArgs, ServeAliveDefaultsToTheHealthyReply) {
  TMasterArgs parsed = ParseOk({"serve-alive", "65000"});
  EXPECT_EQ(parsed.mode, TMasterArgs::TMode::kServe);
  EXPECT_EQ(parsed.serve.port, 65000);
  EXPECT_EQ(parsed.serve.bind, "0.0.0.0");
  EXPECT_EQ(parsed.serve.reply, "<|5|Vantrel Wattkeep|>");
  EXPECT_EQ(parsed.serve.count, 0);
  TMasterArgs custom =
      ParseOk({"serve-alive", "7", "--silent", "--count", "2", "--reply", "<|6|>", "--bind", "::"});
  EXPECT_TRUE(custom.serve.silent);
  EXPECT_EQ(custom.serve.count, 2);
  EXPECT_EQ(custom.serve.reply, "<|6|>");
}

struct FireCase {
  Args args;
  TMasterArgs::TMode mode;
  int32_t code;
  std::string config;
  bool dry_run, yes;
};

TEST(TMasterArgs, FireAndEventsTakeTheirOptionsAnywhere) {
  using Mode = TMasterArgs::TMode;
  const std::vector<FireCase> cases = {
      {{"fire", "0"}, Mode::kFire, 0, "", false, false},
      {{"fire", "255", "--yes"}, Mode::kFire, 255, "", false, true},
      {{"fire", "--dry-run", "12", "--config", "/i/bin/wksrv.cfg"},
       Mode::kFire,
       12,
       "/i/bin/wksrv.cfg",
       true,
       false},
      {{"fire", "--config", "c", "--yes", "--dry-run", "3"}, Mode::kFire, 3, "c", true, true},
      {{"events"}, Mode::kEvents, -1, "", false, false},
      {{"events", "--config", "x.cfg"}, Mode::kEvents, -1, "x.cfg", false, false},
  };
  for (const FireCase& c : cases) {
    TMasterArgs parsed = ParseOk(c.args);
    EXPECT_EQ(parsed.mode, c.mode);
    EXPECT_EQ(parsed.fire.event_code, c.code);
    EXPECT_EQ(parsed.fire.config, c.config);
    EXPECT_EQ(parsed.fire.dry_run, c.dry_run);
    EXPECT_EQ(parsed.fire.yes, c.yes);
  }
}

// The daemon drops a request line past its limit after greeting "<|ok|>",
// so such an order is refused before any connection, the limit named. A
// scrambled line is twice its frame; a plain line goes as it is.
TEST(TMasterArgs, RefusesOrdersPastTheDaemonsLineLimit) {
  const size_t frame_room = kMaxRequestLine / 2;
  const size_t message_room = frame_room - std::string("<|1|1||>").size();
  struct Case {
    Args args;
    bool fits;
  };
  const std::vector<Case> cases = {
      {{"send", "h", "1", "1", std::string(message_room, 'm')}, true},
      {{"send", "h", "1", "1", std::string(message_room + 1, 'm')}, false},
      {{"send", "h", "1", "1", std::string(20000, 'm')}, false},
      {{"send", "h", "1", "1", std::string(message_room - 3, 'm'), "--id", "12345"}, false},
      {{"send", "h", "1", "--raw", std::string(frame_room, 'r')}, true},
      {{"send", "h", "1", "--raw", std::string(frame_room + 1, 'r')}, false},
      {{"send", "h", "1", "--plain", std::string(kMaxRequestLine, 'p')}, true},
      {{"send", "h", "1", "--plain", std::string(kMaxRequestLine + 1, 'p')}, false},
  };
  for (const Case& c : cases) {
    TMasterArgs parsed;
    std::string error;
    EXPECT_EQ(ParseMasterArgs(c.args, &parsed, &error), c.fits) << c.args.back().size();
    if (c.fits) continue;
    EXPECT_NE(error.find("limit of " + std::to_string(kMaxRequestLine) + " bytes"),
              std::string::npos)
        << error;
  }
}

TEST(TMasterArgs, VersionAlone) {
  EXPECT_EQ(ParseOk({"-v"}).mode, TMasterArgs::TMode::kVersion);
  EXPECT_EQ(ParseOk({"--version"}).mode, TMasterArgs::TMode::kVersion);
  TMasterArgs parsed;
  std::string error;
  EXPECT_FALSE(ParseMasterArgs({"-v", "send"}, &parsed, &error));
}

TEST(TMasterArgs, HelpWinsAnywhere) {
  EXPECT_EQ(ParseOk({"--help"}).mode, TMasterArgs::TMode::kHelp);
  EXPECT_EQ(ParseOk({"send", "-h"}).mode, TMasterArgs::TMode::kHelp);
}

TEST(TMasterArgs, RefusesUnusableLines) {
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
      {"fire"},
      {"fire", "256"},
      {"fire", "-1"},
      {"fire", "x"},
      {"fire", "1", "2"},
      {"fire", "1", "--config"},
      {"fire", "1", "--config", ""},
      {"fire", "1", "--force"},
      {"events", "1"},
      {"events", "--yes"},
      {"events", "--dry-run"},
  };
  for (const Args& args : bad) {
    TMasterArgs parsed;
    std::string error;
    EXPECT_FALSE(ParseMasterArgs(args, &parsed, &error)) << ::testing::PrintToString(args);
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
