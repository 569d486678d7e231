#include "common/console.h"

#include <gtest/gtest.h>

#include <cstring>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(PrintMessage, IdentPrefixOnlyWhenGiven) {
  CaptureStdout();
  PrintMessage("QS System", "daemon started");
  PrintMessage("", "daemon started");
  PrintMessage("X", "");
  EXPECT_EQ(GetCapturedStdout(), "QS System: daemon started\ndaemon started\nX: \n");
}

TEST(PrintAlert, FixedTextsOnStandardOutput) {
  // Standard output is a file here, so any bell goes to standard error.
  CaptureStdout();
  PrintAlert("alert");
  PrintInvalidSetup();
  PrintCredits();
  EXPECT_EQ(GetCapturedStdout(),
            "alert\n"
            "Invalid setup. Pls. uninstall and then install this software again.\n"
            "Designed and developed by the Voltmon Manager team\n"
            "\n");
  EXPECT_EQ(std::strncmp(kRightsNotice, "Copyright (C) ", 14), 0);
}
