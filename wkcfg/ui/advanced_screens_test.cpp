#include <gtest/gtest.h>

#include "wkcfg/ui/screen_test_tree.h"
#include "wkcfg/ui/screens.h"

TEST_F(ScreenTest, AdvancedSystemRangesAndRedrawAfterResize) {
  Enter("0");
  Keys({'x'});
  Enter("7200");
  Enter("5770");
  term_.AddResize(100, 30);
  Keys({kKeyDown});
  Enter("256");
  Keys({'x'});
  Enter("10");
  Keys({kKeyEsc});
  AdvancedSystemScreen();
  const TServerSetup& s = Record().Server;
  EXPECT_EQ(Record().Ups.UpsRechargeTime, 7200);
  EXPECT_EQ(s.SrvListenPort, 5770);
  EXPECT_EQ(s.SrvBroadcast, 60);
  EXPECT_EQ(s.SrvPollingUps, 10);
  EXPECT_EQ(Wrote("out of range [1 - 2147483647]"), 1);
  EXPECT_EQ(Wrote("out of range [1 - 255]"), 1);
  EXPECT_EQ(term_.keys_left(), 0);
  // Drawn whole in the larger frame: 96 x 28 from column 3, row 2.
  EXPECT_EQ(term_.window().columns, 96);
  EXPECT_EQ(term_.ScreenRow(3).find("ADVANCED SYSTEM CONFIGURATION"), 34u);
  EXPECT_EQ(term_.ScreenRow(6).substr(4, 36), "Battery recharge time [s]:    7200  ");
}

TEST_F(ScreenTest, AdvancedShutdownStoresMinutesAsSeconds) {
  Choose(0);
  Enter("2");
  Keys({kKeyEsc});
  AdvancedShutdownScreen();
  EXPECT_TRUE(Record().Server.SrvDownFromMonitor);
  EXPECT_EQ(Record().Server.SrvDownWarningTime, 120);
  EXPECT_EQ(term_.keys_left(), 0);
}

TEST_F(ScreenTest, AdvancedQsSystemHidesThePortRow) {
  TServerSetup& s = Record().Server;
  Keys({kKeyDown, kKeyDown});  // past the hidden port row back to the first
  Enter("9");
  Choose(0);
  Enter("700");
  Keys({kKeyEsc});
  AdvancedQsSystemScreen();
  EXPECT_EQ(s.QsTimeoutConnection, 9);
  EXPECT_TRUE(s.QsAliveEnabled);
  EXPECT_EQ(s.QsAlivePort, 700);
  EXPECT_TRUE(term_.Shows("TCP/IP port for \"Check Wattkeep\":"));
  EXPECT_EQ(term_.keys_left(), 0);

  s.QsAliveEnabled = false;
  Keys({kKeyEsc});
  AdvancedQsSystemScreen();
  EXPECT_FALSE(term_.Shows("TCP/IP port for"));
}

TEST_F(ScreenTest, CalibrationScreenEditableWithMinusOneAndReset) {
  Select(kAlpha);
  TUpsSetup& u = Record().Ups;
  Enter("50");
  Enter("-2");
  Keys({'x'});
  Enter("101");
  Keys({'x'});
  Enter("-1");
  Enter("80");
  Keys({kKeyEnter, 'n', kKeyEsc});  // the blank row passed, reset refused
  CalibrationTestScreen();
  EXPECT_EQ(u.UpsAutonomyTime, 50);
  EXPECT_EQ(u.UpsLoadPercent, -1.0f);
  EXPECT_EQ(u.UpsBatteryCapacity, 80.0f);
  EXPECT_EQ(Wrote("out of range [0 - 100]"), 2);
  EXPECT_EQ(term_.keys_left(), 0);

  u.UpsLoadPercent = 42.6f;
  term_.ClearRecord();
  Keys({kKeyUp, kKeyEnter, 'y', kKeyEsc});  // up wraps to the button
  CalibrationTestScreen();
  EXPECT_EQ(u.UpsAutonomyTime, 300);
  EXPECT_EQ(u.UpsLoadPercent, -1.0f);
  EXPECT_EQ(u.UpsBatteryCapacity, 100.0f);
  EXPECT_EQ(Wrote("Are you sure ?"), 1);
  EXPECT_EQ(FrameLine(5).substr(2, 38), "Total autonomy [s]:               300 ");
  EXPECT_EQ(FrameLine(7).substr(2, 38), "Load applied during the test [%]: -1  ");
  EXPECT_NE(FrameLine(13).find(" [ Reset Test Results ] "), std::string::npos);
}

TEST_F(ScreenTest, CalibrationScreenReadOnlyWhileTheServerRuns) {
  Select(kAlpha);
  ConsoleState().ServerActive = true;
  TUpsSetup& u = Record().Ups;
  u.UpsLoadPercent = 42.6f;
  Keys({kKeyDown, '5', kKeyEnter, kKeyEsc});
  CalibrationTestScreen();
  EXPECT_EQ(u.UpsAutonomyTime, 300);
  EXPECT_EQ(term_.beeps(), 3);
  EXPECT_EQ(term_.keys_left(), 0);
  EXPECT_EQ(FrameLine(7).substr(2, 37), "Load applied during the test [%]: 43 ");
  EXPECT_EQ(FrameAttr(3, 7), AttrOf(15, 4));
  EXPECT_EQ(FrameAttr(37, 7), AttrOf(11, 4));
  EXPECT_EQ(FrameLine(13).substr(2, 51), "Wattkeep is active - In order to edit these values:");
  EXPECT_EQ(FrameLine(14).substr(2, 18), "  1. Stop Wattkeep");
  EXPECT_EQ(FrameLine(15).substr(2, 25), "  2. Restart this program");
  EXPECT_EQ(FrameAttr(3, 15), AttrOf(11, 4));
  EXPECT_FALSE(term_.Shows("Reset Test Results"));
  EXPECT_TRUE(term_.Shows("<< Press [ESC] to return to Main Menu >>"));
}
