// The slave module's configuration program while the name service takes
// queries and never answers: the check and the masters screen look the
// masters' names up side by side, each within the program's own limit.
#include <memory>

#include "common/clock.h"
#include "qscfg/model.h"
#include "tests/support/silent_names.h"
#include "tests/support/subprocess.h"
#include "tests/support/tmux_term.h"
#include "tests/wkcfg/console_session.h"

namespace {

const char kThreeNames[] = "AdrCount=3\nAdr0=a.lan\nAdr1=b.lan\nAdr2=c.lan\n";

class QsSilentNames : public ::testing::Test {
 protected:
  void SetUp() override {
    names_ = std::make_unique<TSilentNameServer>(dir_.path());
    ASSERT_EQ("", names_->Error());
  }
  TTempDir dir_{"qs_names"};
  std::unique_ptr<TSilentNameServer> names_;
  TConsoleSession qs_{[](const TConsoleTree& tree) { return SlaveConfig(tree, kThreeNames); }};
};

TEST_F(QsSilentNames, CheckTakesOneLimitForAllNames) {
  const int64_t start = NowMs();
  const TRunResult result = RunCommand({qs_.tree().Program(), "--check", qs_.tree().ConfigPath()});
  EXPECT_LT(NowMs() - start, kQsLookupMs + 2000);
  EXPECT_EQ(1, result.exit_code) << result.out << result.err;
  for (const char* name : {"a.lan", "b.lan", "c.lan"}) {
    EXPECT_NE(std::string::npos,
              result.out.find(std::string("the host name \"") + name + "\" does not resolve"))
        << result.out;
  }
}

TEST_F(QsSilentNames, MastersScreenDrawsAtOnceAndMarksTheNamesAsTheyFail) {
  ASSERT_TRUE(qs_.Start());
  ASSERT_TRUE(qs_.Shows("Scripts Configuration"));
  const int64_t start = NowMs();
  ASSERT_TRUE(qs_.Keys({"Down", "Enter"}));
  // The lookups start as the screen opens; the first screen that lists the
  // names, whatever their marks, shows whether it waited for them.
  std::string first;
  ASSERT_TRUE(WaitUntil(
      [&] {
        first = qs_.Screen();
        return TextsInOrder(first,
                            {"MASTER SERVERS CONFIGURATION", "1. a.lan", "2. b.lan", "3. c.lan"});
      },
      5000))
      << first;
  EXPECT_TRUE(TextsInOrder(first, {"? > 1. a.lan", "?   2. b.lan", "?   3. c.lan"}))
      << "drawn only once a lookup had given up:\n"
      << first;
  // No key pressed: the marks change on their own.
  ASSERT_TRUE(qs_.ShowsInOrder({"! > 1. a.lan", "!   2. b.lan", "!   3. c.lan"}));
  EXPECT_LT(NowMs() - start, kQsLookupMs + 1500);
  ASSERT_TRUE(qs_.Keys({"Escape"}));
  ASSERT_TRUE(qs_.Shows("Scripts Configuration"));
}

}  // namespace
