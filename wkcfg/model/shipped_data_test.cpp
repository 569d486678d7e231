// The data the packet ships with the console: the generated model database,
// the default events file and the console's language sections.
#include <set>

#include "common/ini.h"
#include "common/lang.h"
#include "common/orders.h"
#include "gtest/gtest.h"
#include "wkcfg/model/events.h"
#include "wkcfg/model/upsdb.h"

namespace {

const std::string kPacket = VM_PACKET_SOURCE_DIR;
const std::string kDefaultEvents = kPacket + "/bin/defevent.evn";
const char* const kLanguages[] = {"english.lng", "deutsch.lng"};

class ShippedData : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(LoadUpsDatabase(&db, VM_SHIPPED_UPSDB), 0); }
  // The default events of every section the file holds.
  TEvents AllDefaultEvents() const {
    TIniDocument doc;
    EXPECT_EQ(LoadIniFile(kDefaultEvents, &doc), 0);
    TEvents events;
    for (const std::string& section : doc.SectionNames()) {
      events.LoadDefaultEvents(kDefaultEvents, section);
    }
    return events;
  }
  TUpsDatabase db;
};

TEST_F(ShippedData, EveryModelSelectsAndItsEventsExist) {
  ASSERT_GE(db.Models.size(), 10u);
  std::set<int> off_modes, on_modes;
  std::set<bool> smart, calibration, three_phase, free_step;
  bool blanks_around_name = false;
  bool word_booleans = false;
  TEvents common;
  common.LoadDefaultEvents(kDefaultEvents, "COMMON");
  EXPECT_GT(common.Count(), 0);
  for (size_t i = 0; i < db.Models.size(); ++i) {
    const std::string& line = db.Models[i];
    SCOPED_TRACE(line);
    TTextList fields;
    SplitToList('|', line, &fields, true);
    ASSERT_EQ(fields.size(), 41u);
    TSetupData setup;
    ASSERT_EQ(SelectModel(&db, &setup, static_cast<int>(i), false), 0);
    ASSERT_EQ(SelectModel(&db, &setup, static_cast<int>(i), true), 0);
    EXPECT_EQ(FindModel(db, setup.Ups.UpsModelName), static_cast<int>(i));
    EXPECT_GT(setup.Ups.UpsRechargeTime, 0);
    EXPECT_LE(db.UpsOffDelayMin, db.UpsOffDelayMax);
    EXPECT_LE(db.UpsOnDelayMin, db.UpsOnDelayMax);
    EXPECT_GE(db.UpsOnDelayStep, 1);
    TEvents own;
    own.LoadDefaultEvents(kDefaultEvents, db.EventSection);
    EXPECT_GT(own.Count(), 0) << db.EventSection;

    off_modes.insert(db.UpsOffMode);
    on_modes.insert(db.UpsOnMode);
    smart.insert(db.SmartAutonomy);
    calibration.insert(db.CalibrationTest);
    three_phase.insert(db.CanVinPhaseS && db.CanVinPhaseT);
    free_step.insert(db.UpsOnDelayStep == 1);
    blanks_around_name |= line.substr(0, line.find('|')) != setup.Ups.UpsModelName;
    word_booleans |= fields[23] == "True" || fields[23] == "TRUE";
  }
  EXPECT_EQ(off_modes, (std::set<int>{0, 1, 2}));
  EXPECT_EQ(on_modes, (std::set<int>{0, 1, 2, 3}));
  for (const auto* both : {&smart, &calibration, &three_phase, &free_step}) {
    EXPECT_EQ(*both, (std::set<bool>{false, true}));
  }
  EXPECT_TRUE(blanks_around_name);
  EXPECT_TRUE(word_booleans);
}

TEST_F(ShippedData, DefaultJobsAreKnownAndShutdownComesLast) {
  TEvents events = AllDefaultEvents();
  ASSERT_GT(events.Count(), 0);
  bool mslog = false;
  for (int e = 0; e < events.Count(); ++e) {
    SCOPED_TRACE(events.EventLine(e));
    int32_t code = -1;
    EXPECT_TRUE(ParseInt32(events.Lists()[e][0], &code));
    for (int p = 0; p < events.JobCount(e); ++p) {
      const std::string code_text = events.Job(e, p).substr(0, events.Job(e, p).find(','));
      bool known = false;
      for (const char* action : kActionCodes) known |= code_text == action;
      EXPECT_TRUE(known) << code_text;
      mslog |= code_text == "$MSLOG";
      if (code_text == "$SHUTDOWN") {
        EXPECT_EQ(p, events.JobCount(e) - 1);
      }
    }
  }
  EXPECT_TRUE(mslog);
}

TEST_F(ShippedData, BothLanguagesNameEveryEventActionAndMessage) {
  TEvents events = AllDefaultEvents();
  for (const char* language : kLanguages) {
    SCOPED_TRACE(language);
    SetLanguageFilePath(kPacket + "/languages/" + language);
    for (int e = 0; e < events.Count(); ++e) {
      int32_t code = 0;
      ParseInt32(events.Lists()[e][0], &code);
      EXPECT_NE(events.EventName(static_cast<uint8_t>(code), 600), "") << code;
    }
    const std::string warning = LangText("11", "EVENTS");
    EXPECT_NE(warning.find('$'), std::string::npos);
    EXPECT_NE(warning.find('^'), std::string::npos);
    EXPECT_EQ(LangText("Count", "ACTIONS"), "10");
    for (int a = 0; a < kActionCount; ++a) EXPECT_NE(LangText(std::to_string(a), "ACTIONS"), "");
    // Each order's event in the slave's log, and its remote job's text.
    for (const TOrder& order : kOrders) {
      EXPECT_NE(LangText(order.event_key, "QSSRV"), "") << order.event_key;
      EXPECT_EQ(kActionCodes[order.action_index], std::string(order.action_code));
    }
    for (const char* key : {"NoUpsSelected", "InfoEventsReset"}) {
      EXPECT_NE(LangText(key, "WKCFG"), "") << key;
    }
    for (const char* key : {"100007", "100008"}) EXPECT_NE(LangText(key, "ERRORS"), "") << key;
  }
  SetLanguageFilePath("");
}

}  // namespace
