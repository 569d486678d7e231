#include "wksrv/reading_cache.h"

#include <gtest/gtest.h>

namespace {

using TVars = TReadingCache::TVars;

TEST(ReadingCache, AStatusGoesOverTheLastListingUntilALinkFailure) {
  TReadingCache cache;
  EXPECT_TRUE(cache.NeedsList());
  cache.TakeList({{"ups.status", "OL"}, {"battery.runtime", "1800"}, {"ups.temperature", "30"}});
  EXPECT_FALSE(cache.NeedsList());
  EXPECT_EQ(
      cache.WithStatus("OL CHRG"),
      (TVars{{"ups.status", "OL CHRG"}, {"battery.runtime", "1800"}, {"ups.temperature", "30"}}));
  cache.Forget();
  EXPECT_TRUE(cache.NeedsList());
  EXPECT_EQ(cache.WithStatus("OL"), (TVars{{"ups.status", "OL"}})) << "nothing of before is kept";
}

TEST(ReadingCache, OnBatteryOrAnAlarmEveryVariableIsListedAtOnce) {
  const struct {
    const char* status;
    bool wants;
  } cases[] = {{"OL", false},  {"OL CHRG", false}, {"OL OVER", false}, {"", false},
               {"OB", true},   {"OB LB", true},    {"OL ALARM", true}, {"ALARM OB", true},
               {"OBX", false}, {"OLALARM", false}, {"FSD OB", true}};
  for (const auto& c : cases) {
    EXPECT_EQ(TReadingCache::StatusWantsList(c.status), c.wants) << c.status;
  }
}

}  // namespace
