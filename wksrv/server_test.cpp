#include "wksrv/server.h"

#include <gtest/gtest.h>

namespace {

TEST(WksrvCommandLine, OnlyTheFirstArgumentExactlyNamesARequest) {
  using R = TWksrvRequest;
  const struct {
    std::vector<const char*> args;
    R expected;
  } cases[] = {
      {{"wksrv"}, R::kStart},
      {{"wksrv", "-v", "-s"}, R::kVersion},
      {{"wksrv", "-cr"}, R::kCredits},
      {{"wksrv", "-s"}, R::kStop},
      {{"wksrv", "-h"}, R::kHelp},
      {{"wksrv", "--help"}, R::kHelp},
      {{"wksrv", "--check", "-s"}, R::kCheck},
      {{"wksrv", "-x", "--check"}, R::kStart},
      {{"wksrv", "-S"}, R::kStart},
      {{"wksrv", "--CHECK"}, R::kStart},
      {{"wksrv", "-s "}, R::kStart},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseWksrvCommandLine(static_cast<int>(c.args.size()), c.args.data()), c.expected)
        << (c.args.size() > 1 ? c.args[1] : "(none)");
  }
}

}  // namespace
