#include "wksrv/detect.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using TVars = std::map<std::string, std::string>;
using TCodes = std::vector<int>;

// One poll: ups.status ("-" for no reading), further values, the time in
// seconds and the codes it must raise.
struct TStep {
  std::string status;
  int64_t at;
  TCodes raised;
  TVars vars = {};
};

struct TDetectCase {
  const char* name;
  TShutdownPolicy policy;
  std::vector<TStep> steps;
};

TShutdownPolicy Off() {
  TShutdownPolicy p;
  p.enabled = false;
  return p;
}
TShutdownPolicy Fixed(int32_t fixed, int32_t warning) {
  TShutdownPolicy p;
  p.fixed_time = fixed;
  p.warning_time = warning;
  return p;
}
TShutdownPolicy Smart(int32_t down, int32_t warning, int32_t fixed = 300) {
  TShutdownPolicy p = Fixed(fixed, warning);
  p.smart = true;
  p.down_time = down;
  return p;
}

TVars Runtime(const char* seconds) {
  return {{"battery.runtime", seconds}};
}
TVars Phases(const char* l1, const char* l2, const char* l3, const char* family = "-N") {
  const std::string f = family;
  if (f == "-N") {
    return {{"input.L1-N.voltage", l1}, {"input.L2-N.voltage", l2}, {"input.L3-N.voltage", l3}};
  }
  return {{"input.L1-L2.voltage", l1}, {"input.L2-L3.voltage", l2}, {"input.L3-L1.voltage", l3}};
}
TVars Loads(const char* l1, const char* l2, const char* l3) {
  return {{"output.L1.power.percent", l1},
          {"output.L2.power.percent", l2},
          {"output.L3.power.percent", l3}};
}

const TDetectCase kCases[] = {
    {"first reading on mains raises nothing", Off(), {{"OL", 0, {}}, {"OL CHRG", 5, {}}}},
    {"first reading on battery counts as a change from mains",
     Off(),
     {{"OB DISCHRG", 0, {0}}, {"OB", 5, {}}, {"OL", 10, {1}}}},
    {"mains failure and return once each per change",
     Off(),
     {{"OL", 0, {}},
      {"OB", 5, {0}},
      {"OB", 10, {}},
      {"OL CHRG", 15, {1}},
      {"OL", 20, {}},
      {"OB", 25, {0}}}},
    {"on battery holds until the UPS says OL",
     Off(),
     {{"OB", 0, {0}}, {"OFF", 5, {}}, {"OL", 10, {1}}}},
    {"battery low, again only after it ended",
     Off(),
     {{"OB LB", 0, {0, 2}}, {"OB LB", 5, {}}, {"OB", 10, {}}, {"OB LB", 15, {2}}}},
    {"overload, battery to replace and bypass",
     Off(),
     {{"OL OVER", 0, {3}},
      {"OL OVER RB", 5, {6}},
      {"OL BYPASS", 10, {8}},
      {"OL", 15, {}},
      {"OL OVER", 20, {3}}}},
    {"flags are whole words of the status",
     Off(),
     {{"OL LBX OBS", 0, {}}, {"OL OVERLOADED", 5, {}}}},
    {"temperature named by the status or the alarm, or above its limit",
     Off(),
     {{"OL OVERHEAT", 0, {7}},
      {"OL", 5, {}},
      {"OL ALARM", 10, {7}, {{"ups.alarm", "Ambient TEMPERATURE high!"}}},
      {"OL", 15, {}, {{"ups.temperature", "40.0"}, {"ups.temperature.high", "40"}}},
      {"OL", 20, {7}, {{"ups.temperature", "40.5"}, {"ups.temperature.high", "40"}}},
      {"OL", 25, {}, {{"ups.temperature", "hot"}, {"ups.temperature.high", "40"}}}}},
    {"input phase failure where NUT gives the three phases",
     Off(),
     {{"OL", 0, {}, Phases("230", "231.5", "229")},
      {"OL", 5, {13}, Phases("230", "231.5", "20")},
      {"OL", 10, {}, Phases("230", "231.5", "")},
      {"OB", 15, {0}, Phases("0", "0", "0")},
      {"OL", 20, {1, 13}, Phases("400", "0", "400", "-L")}}},
    {"unbalanced load over 30 points between phases",
     Off(),
     {{"OL", 0, {}, Loads("50", "40", "20")},
      {"OL", 5, {14}, Loads("50.5", "40", "20")},
      {"OL", 10, {}, Loads("50.5", "40", "x")}}},
    {"communication lost on the third poll without reading, back at the next",
     Off(),
     {{"OL", 0, {}}, {"-", 5, {}}, {"-", 10, {}}, {"-", 15, {4}}, {"-", 20, {}}, {"OL", 25, {5}}}},
    {"a reading between failures starts the count anew",
     Off(),
     {{"-", 0, {}}, {"-", 5, {}}, {"OL", 10, {}}, {"-", 15, {}}, {"-", 20, {}}}},
    {"no reading from the start: lost, but no battery low",
     Off(),
     {{"-", 0, {}}, {"-", 5, {}}, {"-", 10, {4}}, {"OB", 15, {5, 0}}}},
    {"lost while on battery counts as battery low, once",
     Off(),
     {{"OB", 0, {0}},
      {"-", 5, {}},
      {"-", 10, {}},
      {"-", 15, {4, 2}},
      {"-", 20, {}},
      {"OB", 25, {5}},
      {"OB LB", 30, {2}},
      {"OL", 35, {1}}}},
    {"lost while the battery is low already",
     Off(),
     {{"OB LB", 0, {0, 2}}, {"-", 5, {}}, {"-", 10, {}}, {"-", 15, {4}}}},
    {"fixed time: warning, then end of autonomy, once per outage",
     Fixed(300, 60),
     {{"OL", 0, {}},
      {"OB", 10, {0}},
      {"OB", 249, {}},
      {"OB", 250, {11}},
      {"OB", 309, {}},
      {"OB", 310, {9}},
      {"OB LB", 400, {2}},
      {"OL", 500, {1}},
      {"OB", 1000, {0}},
      {"OB", 1240, {11}},
      {"OB", 1300, {9}}}},
    {"power back before the time cancels both",
     Fixed(300, 60),
     {{"OB", 0, {0}}, {"OB", 250, {11}}, {"OL", 260, {1}}, {"OL", 400, {}}}},
    {"no policy without system shutdown", Off(), {{"OB", 0, {0}}, {"OB", 100000, {}}}},
    {"a warning time above the fixed time warns at once",
     Fixed(30, 60),
     {{"OB", 0, {0, 11}}, {"OB", 29, {}}, {"OB", 30, {9}}}},
    {"the fixed time runs on while the UPS cannot be read",
     Fixed(250, 60),
     {{"OB", 0, {0}}, {"-", 100, {}}, {"-", 200, {11}}, {"-", 260, {9, 4, 2}}}},
    {"advanced: by the runtime the UPS reports",
     Smart(180, 60),
     {{"OB", 0, {0}, Runtime("1800")},
      {"OB", 900, {}, Runtime("241")},
      {"OB", 905, {11}, Runtime("240")},
      {"OB", 910, {}, Runtime("200")},
      {"OB", 915, {9}, Runtime("180")},
      {"OL", 920, {1}, Runtime("170")},
      {"OB", 925, {0}, Runtime("1000")}}},
    {"advanced: a sudden fall raises the warning before the end",
     Smart(180, 60),
     {{"OB", 0, {0}, Runtime("1800")}, {"OB", 5, {11, 9}, Runtime("100")}}},
    {"advanced without a runtime falls back to the fixed time",
     Smart(180, 60, 100),
     {{"OB", 0, {0}}, {"OB", 40, {11}}, {"OB", 100, {9}}}},
    {"advanced: the last runtime serves while the UPS cannot be read",
     Smart(180, 60, 100),
     {{"OB", 0, {0}, Runtime("300")}, {"-", 200, {}}, {"OB", 205, {11}, Runtime("239")}}},
};

TUpsReading ReadingOf(const TStep& step) {
  TUpsReading reading;
  if (step.status == "-") {
    reading.error = "Connection failure: Connection refused";
    return reading;
  }
  reading.reachable = true;
  reading.vars = step.vars;
  reading.vars["ups.status"] = step.status;
  return reading;
}

TEST(Detect, RulesStatusTimesAndPolicies) {
  for (const TDetectCase& c : kCases) {
    TDetectState state;
    for (size_t n = 0; n < c.steps.size(); ++n) {
      const TStep& step = c.steps[n];
      TDetection d = Detect(state, ReadingOf(step), step.at * 1000, c.policy);
      EXPECT_EQ(TCodes(d.codes.begin(), d.codes.end()), step.raised)
          << c.name << ", poll " << n << " (" << step.status << " at " << step.at << ")";
      state = d.state;
    }
  }
}

TEST(Detect, TheFixedTimeCountsFromTheReadingToTheMillisecond) {
  const TUpsReading on_battery = ReadingOf({"OB", 0, {}});
  TDetection first = Detect({}, on_battery, 10999, Fixed(3, 1));
  EXPECT_EQ(first.codes, std::vector<uint8_t>{kMainsFailure});
  EXPECT_TRUE(Detect(first.state, on_battery, 12998, Fixed(3, 1)).codes.empty());
  EXPECT_EQ(Detect(first.state, on_battery, 12999, Fixed(3, 1)).codes,
            std::vector<uint8_t>{kShutdownWarning});
  EXPECT_EQ(Detect(first.state, on_battery, 13999, Fixed(3, 1)).codes,
            (std::vector<uint8_t>{kShutdownWarning, kEndOfAutonomy}));
}

TEST(Detect, PolicyOfTheConfiguration) {
  TSetupData setup;
  setup.Server.SrvDownEnabled = false;
  setup.Ups.UpsSmartAutonomy = true;
  setup.Server.UpsFixedTime = 11;
  setup.Server.SrvDownTime = 22;
  setup.Server.SrvDownWarningTime = 33;
  const TShutdownPolicy p = ShutdownPolicyOf(setup);
  EXPECT_FALSE(p.enabled);
  EXPECT_TRUE(p.smart);
  EXPECT_EQ(p.fixed_time, 11);
  EXPECT_EQ(p.down_time, 22);
  EXPECT_EQ(p.warning_time, 33);
}

}  // namespace
