#include "common/orders.h"

#include <set>
#include <utility>

#include "gtest/gtest.h"

namespace {

TEST(Orders, EachRowIsItsCommandAndNamesDistinctThings) {
  std::set<std::string> codes, scripts, events;
  std::set<int> actions;
  for (int i = 0; i < kOrderCount; ++i) {
    const TOrder& order = kOrders[i];
    EXPECT_EQ(order.command, i);
    EXPECT_EQ(FindOrder(i), &order);
    EXPECT_EQ(FindOrderByAction(order.action_code), &order);
    EXPECT_EQ(FindOrderByActionIndex(order.action_index), &order);
    codes.insert(order.action_code);
    scripts.insert(order.script_key);
    events.insert(order.event_key);
    actions.insert(order.action_index);
  }
  EXPECT_EQ(codes.size(), static_cast<size_t>(kOrderCount));
  EXPECT_EQ(scripts.size(), static_cast<size_t>(kOrderCount));
  EXPECT_EQ(events.size(), static_cast<size_t>(kOrderCount));
  EXPECT_EQ(actions.size(), static_cast<size_t>(kOrderCount));
  EXPECT_EQ(FindOrder(kShutdownCommand)->event_key, std::string("LogShutdown"));
}

TEST(Orders, RemoteActionsGiveTheirNumbers) {
  const std::pair<const char*, int32_t> cases[] = {
      {"$R_SHUT", 0}, {"$R_MSG", 1}, {"$R_SHELL_1", 2}, {"$R_SHELL_2", 3}, {"$R_SHELL_3", 4}};
  for (const auto& c : cases) {
    ASSERT_NE(FindOrderByAction(c.first), nullptr) << c.first;
    EXPECT_EQ(FindOrderByAction(c.first)->command, c.second) << c.first;
  }
}

TEST(Orders, LookupsRefuseWhatIsNoOrder) {
  for (int32_t command : {-1, kOrderCount, 1000}) EXPECT_EQ(FindOrder(command), nullptr);
  for (const char* code : {"", "$SHUTDOWN", "$r_shut", "$R_SHELL_4", "$R_SHUT "}) {
    EXPECT_EQ(FindOrderByAction(code), nullptr) << code;
  }
  for (int action : {-1, 0, 2, 8, 10}) EXPECT_EQ(FindOrderByActionIndex(action), nullptr);
}

TEST(Orders, FramesCarryTheTextOnlyForTheMessage) {
  EXPECT_EQ(OrderFrame(7, *FindOrder(0), "ignored"), "<|7|0|>");
  EXPECT_EQ(OrderFrame(7, *FindOrder(4), ""), "<|7|4|>");
  EXPECT_EQ(OrderFrame(12, *FindOrder(1), "a|b|c"), "<|12|1|a/b/c|>");
  EXPECT_EQ(OrderFrame(-3, *FindOrder(1), ""), "<|-3|1||>");
}

}  // namespace
