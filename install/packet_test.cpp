#include "install/packet.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

TEST(ParseFileLine, ThreeTrimmedFields) {
  TFileLine file;
  ASSERT_TRUE(ParseFileLine("bin/qslx|bin/qslx|e", "english", &file));
  EXPECT_EQ("bin/qslx", file.source);
  EXPECT_EQ("bin/qslx", file.destination);
  EXPECT_EQ("e", file.mode);
  ASSERT_TRUE(ParseFileLine(" a b | c | w ", "english", &file));
  EXPECT_EQ("a b", file.source);
  EXPECT_EQ("c", file.destination);
  EXPECT_EQ("w", file.mode);
}

TEST(ParseFileLine, LanguageReplacesEveryDollar) {
  TFileLine file;
  ASSERT_TRUE(ParseFileLine("lang/$.lng|languages/$.lng|r", "english", &file));
  EXPECT_EQ("lang/english.lng", file.source);
  EXPECT_EQ("languages/english.lng", file.destination);
  ASSERT_TRUE(ParseFileLine("t/$/$_x|t/$|r", "de", &file));
  EXPECT_EQ("t/de/de_x", file.source);
  EXPECT_EQ("t/de", file.destination);
}

TEST(ParseFileLine, WrongFieldCountIsCorrupted) {
  TFileLine file;
  EXPECT_FALSE(ParseFileLine("a|b|", "english", &file));
  EXPECT_FALSE(ParseFileLine("a|b", "english", &file));
  EXPECT_FALSE(ParseFileLine("a", "english", &file));
  EXPECT_FALSE(ParseFileLine("a|b|c|d", "english", &file));
  EXPECT_FALSE(ParseFileLine("", "english", &file));
}

TEST(ParseFileLine, EmptyInnerFieldStillCounts) {
  TFileLine file;
  ASSERT_TRUE(ParseFileLine("|b|x", "english", &file));
  EXPECT_EQ("", file.source);
  EXPECT_EQ("b", file.destination);
  EXPECT_EQ("x", file.mode);
}

// A destination that leaves the installation directory, or names it or one
// of its directories, makes the line corrupted.
TEST(ParseFileLine, DestinationOutsideOrOfADirectoryIsCorrupted) {
  const struct {
    const char* destination;
    bool safe;
  } kCases[] = {
      {"bin/qslx", true},
      {"languages/$.lng", true},
      {"a..b/..c/d..", true},
      {"./bin/x", true},
      {"", false},
      {"/etc/escape.cfg", false},
      {"../../../etc/escape.cfg", false},
      {"bin/../../x", false},
      {"bin/..", false},
      {"..", false},
      {"bin/ .. /x", false},
      {".", false},
      {"bin/.", false},
      {"bin/", false},
  };
  for (const auto& c : kCases) {
    TFileLine file;
    EXPECT_EQ(ParseFileLine(std::string("src|") + c.destination + "|r", "english", &file), c.safe)
        << "'" << c.destination << "'";
  }
  // The language name is part of the destination too.
  TFileLine file;
  EXPECT_FALSE(ParseFileLine("a|languages/$|r", "..", &file));
}

TEST(FileNamePart, AfterTheLastSlash) {
  EXPECT_EQ("qslx", FileNamePart("/usr/vantrel/voltmon/bin/qslx"));
  EXPECT_EQ("startwksrv", FileNamePart("bin/startwksrv"));
  EXPECT_EQ("plain", FileNamePart("plain"));
  EXPECT_EQ("", FileNamePart("/usr/vantrel/voltmon/"));
}

TEST(ReadPacketSection, LinesInOrderWithCommentsDropped) {
  char path[] = "/tmp/packet_testXXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  {
    std::ofstream out(path);
    out << "[Globals]\n1.0.7.9\n\n[Common]\n; a comment\n  a|b|r  \n\nc | d | e\n"
           "[Empty]\n[Info]\nLicence = texts/licence_$.txt\n";
  }
  TTextList lines = {"stale"};
  ASSERT_TRUE(ReadPacketSection(path, "Common", &lines));
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("a|b|r", lines[0]);
  EXPECT_EQ("c | d | e", lines[1]);
  ASSERT_TRUE(ReadPacketSection(path, "info", &lines));
  EXPECT_EQ("Licence=texts/licence_$.txt", lines[0]);
  EXPECT_FALSE(ReadPacketSection(path, "Empty", &lines));
  EXPECT_TRUE(lines.empty());
  EXPECT_FALSE(ReadPacketSection(path, "Wattkeep", &lines));
  std::remove(path);
  EXPECT_FALSE(ReadPacketSection(path, "Common", &lines));
}
