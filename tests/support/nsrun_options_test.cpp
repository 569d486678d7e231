#include "tests/support/nsrun_options.h"

#include <gtest/gtest.h>

namespace {

bool Parse(const std::vector<std::string>& args, TNsrunOptions* options, std::string* error) {
  return ParseNsrunArgs(args, options, error);
}

TEST(TNsrunOptions, DefaultsToAllNamespacesAndFiveMinutes) {
  TNsrunOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--", "true", "-x"}, &options, &error)) << error;
  EXPECT_TRUE(options.new_pid);
  EXPECT_TRUE(options.new_net);
  EXPECT_EQ(options.timeout_seconds, 300);
  EXPECT_EQ(options.command, (std::vector<std::string>{"true", "-x"}));
}

TEST(TNsrunOptions, CommandOptionsAfterFirstWordAreLeftToTheCommand) {
  TNsrunOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--timeout", "7", "sh", "--net", "--help"}, &options, &error)) << error;
  EXPECT_EQ(options.timeout_seconds, 7);
  EXPECT_FALSE(options.help);
  EXPECT_EQ(options.command, (std::vector<std::string>{"sh", "--net", "--help"}));
}

TEST(TNsrunOptions, MountOnlyDropsPidAndNetUnlessNetAsked) {
  TNsrunOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--mount-only", "--", "true"}, &options, &error));
  EXPECT_FALSE(options.new_pid);
  EXPECT_FALSE(options.new_net);
  ASSERT_TRUE(Parse({"--net", "--mount-only", "--", "true"}, &options, &error));
  EXPECT_FALSE(options.new_pid);
  EXPECT_TRUE(options.new_net);
}

TEST(TNsrunOptions, OverlaysKeepOrderAndLoseTrailingSlashes) {
  TNsrunOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--overlay", "/usr/:/tmp/a/", "--overlay", "/etc:/tmp/b", "--", "true"},
                    &options, &error))
      << error;
  ASSERT_EQ(options.overlays.size(), 2u);
  EXPECT_EQ(options.overlays[0].dir, "/usr");
  EXPECT_EQ(options.overlays[0].upper_base, "/tmp/a");
  EXPECT_EQ(options.overlays[1].dir, "/etc");
}

TEST(TNsrunOptions, RefusesUnusableLines) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--"},
      {"--timeout"},
      {"--timeout", "-1", "true"},
      {"--timeout", "5s", "true"},
      {"--overlay", "/usr", "true"},
      {"--overlay", "usr:/tmp/a", "true"},
      {"--overlay", "/:/tmp/a", "true"},
      {"--overlay", "/usr:/tmp/a,b", "true"},
      {"--overlay", "/usr:/tmp/a", "--overlay", "/etc:/tmp/a", "true"},
      {"--overlay", "/usr:/tmp/a", "--overlay", "/usr:/tmp/b", "true"},
      {"--bogus", "true"},
  };
  for (const auto& args : bad) {
    TNsrunOptions options;
    std::string error;
    EXPECT_FALSE(Parse(args, &options, &error)) << ::testing::PrintToString(args);
    EXPECT_FALSE(error.empty());
  }
}

TEST(TNsrunOptions, HelpNeedsNoCommand) {
  TNsrunOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--help"}, &options, &error));
  EXPECT_TRUE(options.help);
}

}  // namespace
