#include "common/ini.h"
#include <errno.h>

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "tests/support/temp_dir.h"

namespace {

class IniFile : public ::testing::Test {
 protected:
  void Write(const std::string& text) { ASSERT_TRUE(WriteFile(path_, text)); }
  std::string Contents() const { return ReadFile(path_); }
  std::vector<std::string> DirEntries() const {
    std::vector<std::string> names;
    DIR* d = opendir(dir_.c_str());
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
    return names;
  }
  TTempDir temp_{"ini_test"};
  std::string dir_ = temp_.path();
  std::string path_ = dir_ + "/test.cfg";
};

const char kSample[] =
    "; leading comment\n"
    "  [ Globals ]  \n"
    "  InstallPath  =  /usr/vantrel/voltmon/  \n"
    "\n"
    "LanguageFile=english.lng\r\n"
    "; Commented=1\n"
    "[Files]\n"
    "  bin/qslx  \n"
    "Mode = a=b\n"
    "[Empty]\n";

}  // namespace

TEST(TIniDocument, NamesCompareWithoutCaseAndBlanksAreIgnored) {
  TIniDocument doc;
  doc.Parse(kSample);
  EXPECT_EQ(doc.Get("globals", "INSTALLPATH").value_or("?"), "/usr/vantrel/voltmon/");
  EXPECT_EQ(doc.Get("GLOBALS", "languagefile").value_or("?"), "english.lng");
  EXPECT_EQ(doc.Get("Files", "Mode").value_or("?"), "a=b");
  EXPECT_FALSE(doc.Get("Globals", "Commented"));
  EXPECT_FALSE(doc.Get("Globals", "; Commented"));
  EXPECT_FALSE(doc.Get("Missing", "InstallPath"));
  EXPECT_FALSE(doc.Get("Globals", "Missing"));
  EXPECT_EQ(doc.SectionNames(), (TTextList{"Globals", "Files", "Empty"}));
}

TEST(TIniDocument, LinesWithoutEqualsStayInTheirSection) {
  TIniDocument doc;
  doc.Parse(kSample);
  TTextList lines;
  ASSERT_TRUE(doc.SectionLines("files", &lines));
  EXPECT_EQ(lines, (TTextList{"bin/qslx", "Mode=a=b"}));
  lines.clear();
  EXPECT_TRUE(doc.SectionLines("Empty", &lines));
  EXPECT_TRUE(lines.empty());
  EXPECT_FALSE(doc.SectionLines("Nowhere", &lines));
}

TEST(TIniDocument, SerializeGivesBackEveryLineAsRead) {
  for (const char* text : {kSample, "stray=1\n[A]\na=1\n[B]\nb=1\n[a]\nlate=2\n",
                           "[A]\r\nk=1\r\n\r\n; c\r\n", "x\r\r\n[A]\na=1"}) {
    TIniDocument doc;
    doc.Parse(text);
    const std::string expected =
        text == std::string("x\r\r\n[A]\na=1") ? "x\r\r\n[A]\na=1\n" : text;
    EXPECT_EQ(doc.Serialize(), expected);
  }
}

TEST(TIniDocument, RepeatedSectionsMergeAndStrayLinesSurvive) {
  TIniDocument doc;
  doc.Parse("stray=1\n[A]\na=1\n[B]\nb=1\n[a]\nlate=2\n");
  EXPECT_EQ(doc.Get("A", "late").value_or("?"), "2");
  EXPECT_FALSE(doc.Get("", "stray"));
  EXPECT_EQ(doc.SectionNames(), (TTextList{"A", "B"}));
  TTextList lines;
  ASSERT_TRUE(doc.SectionLines("a", &lines));
  EXPECT_EQ(lines, (TTextList{"a=1", "late=2"}));
}

// What the writer changes: only the values it sets, new keys after the last
// key of their section, removed entries; every other line stays as read.
TEST(TIniDocument, WritingChangesOnlyWhatItWrites) {
  struct TOp {
    const char* section;
    const char* key;
    const char* value;  // nullptr: remove the key
  };
  const struct {
    const char* name;
    const char* before;
    std::vector<TOp> ops;
    const char* after;
  } kCases[] = {
      {"value set keeps the key's spelling and blanks",
       "[A]\n  Key = old  \n",
       {{"a", "KEY", "new"}},
       "[A]\n  Key = new\n"},
      {"empty value set", "[A]\nk=\n", {{"A", "k", "v"}}, "[A]\nk=v\n"},
      {"comments, blank lines and other sections kept",
       "; head\n[A]\n; about k\nk=1\n\n; the next section\n[B]\nx=1\n",
       {{"A", "k", "2"}, {"A", "k2", "3"}},
       "; head\n[A]\n; about k\nk=2\nk2=3\n\n; the next section\n[B]\nx=1\n"},
      {"new key after the last key of a section split in two",
       "[A]\na=1\n[B]\nb=1\n[a]\nlate=2\n; tail\n",
       {{"A", "new", "n"}},
       "[A]\na=1\n[B]\nb=1\n[a]\nlate=2\nnew=n\n; tail\n"},
      {"new key after a line without equals",
       "[F]\nbin/qslx\n\n",
       {{"F", "k", "v"}},
       "[F]\nbin/qslx\nk=v\n\n"},
      {"new key right after the header of a section without keys",
       "[A]\n; only a comment\n[B]\n",
       {{"A", "k", "v"}},
       "[A]\nk=v\n; only a comment\n[B]\n"},
      {"missing section appended", "[A]\na=1\n", {{"C", "new", "n"}}, "[A]\na=1\n[C]\nnew=n\n"},
      {"new lines end as the file's lines do",
       "[A]\r\na=1\r\n",
       {{"A", "b", "2"}, {"Z", "z", "1"}},
       "[A]\r\na=1\r\nb=2\r\n[Z]\r\nz=1\r\n"},
      {"first of duplicates set",
       "[A]\nk1=1\nK2=2\nk2=dup\n",
       {{"a", "k2", "two"}},
       "[A]\nk1=1\nK2=two\nk2=dup\n"},
      {"remove takes every duplicate and only entries of the section",
       "[A]\n; c\nk=1\nother=2\nK=dup\nk\n[B]\nk=3\n",
       {{"a", "k", nullptr}},
       "[A]\n; c\nother=2\nk\n[B]\nk=3\n"},
      {"removed and written again goes last",
       "[A]\nEvent0=x\nkeep=1\n; end\n",
       {{"A", "Event0", nullptr}, {"A", "Event0", "y"}},
       "[A]\nkeep=1\nEvent0=y\n; end\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    TIniDocument doc;
    doc.Parse(c.before);
    for (const TOp& op : c.ops) {
      if (op.value == nullptr) {
        EXPECT_GT(doc.Remove(op.section, op.key), 0);
      } else {
        doc.Set(op.section, op.key, op.value);
      }
    }
    EXPECT_EQ(doc.Serialize(), c.after);
    TIniDocument again;
    again.Parse(doc.Serialize());
    EXPECT_EQ(again.Serialize(), c.after);
  }
}

TEST(TIniDocument, BracketOnlyAtOneEndIsAnOrdinaryLine) {
  TIniDocument doc;
  doc.Parse("[S]\n[not a header\nkey=[x]\n");
  TTextList lines;
  ASSERT_TRUE(doc.SectionLines("S", &lines));
  EXPECT_EQ(lines, (TTextList{"[not a header", "key=[x]"}));
}

// Random documents built from the characters that matter to the dialect:
// parsing the written form again must give back every entry and the same form.
TEST(TIniDocument, RewriteLosesNoEntryOnRandomInput) {
  const char alphabet[] = "ab[]=; \t\r\n\nKk";
  uint32_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7FFF;
  };
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    int length = static_cast<int>(next() % 60);
    for (int i = 0; i < length; ++i) text += alphabet[next() % (sizeof alphabet - 1)];
    TIniDocument first;
    first.Parse(text);
    TIniDocument second;
    second.Parse(first.Serialize());
    ASSERT_EQ(second.Serialize(), first.Serialize()) << "input: " << text;
    for (const std::string& section : first.SectionNames()) {
      TTextList a, b;
      first.SectionLines(section, &a);
      ASSERT_TRUE(second.SectionLines(section, &b));
      ASSERT_EQ(a, b) << "input: " << text;
    }
  }
}

TEST(IsStorableEntry, RefusesWhatWouldReadBackAsOtherLines) {
  EXPECT_TRUE(IsStorableEntry("Globals", "InstallPath", "/usr/vantrel/voltmon/"));
  EXPECT_TRUE(IsStorableEntry("S", "k", "a=b;c[d]"));
  EXPECT_FALSE(IsStorableEntry("S", "k", "line\nbreak"));
  EXPECT_FALSE(IsStorableEntry("S", "k", "cr\r"));
  EXPECT_FALSE(IsStorableEntry("S\n[X]", "k", "v"));
  EXPECT_FALSE(IsStorableEntry("S", "a=b", "v"));
  EXPECT_FALSE(IsStorableEntry("S", " ;k", "v"));
  EXPECT_FALSE(IsStorableEntry("S", "[k", "v]"));
}

TEST_F(IniFile, OneShotReadsOfTypedValues) {
  Write(
      "[N]\nplain=42\nsigned=+7\nneg=-2147483648\nbig=2147483648\nhuge=99999999999\n"
      "text=4x\nempty=\nzero=0\nblank= 5 \n");
  EXPECT_EQ(ReadIniInteger("n", "plain", -1, path_), 42);
  EXPECT_EQ(ReadIniInteger("N", "signed", -1, path_), 7);
  EXPECT_EQ(ReadIniInteger("N", "neg", -1, path_), INT32_MIN);
  EXPECT_EQ(ReadIniInteger("N", "blank", -1, path_), 5);
  EXPECT_EQ(ReadIniInteger("N", "big", -1, path_), -1);
  EXPECT_EQ(ReadIniInteger("N", "huge", -3, path_), -3);
  EXPECT_EQ(ReadIniInteger("N", "text", -1, path_), -1);
  EXPECT_EQ(ReadIniInteger("N", "empty", 9, path_), 9);
  EXPECT_EQ(ReadIniInteger("N", "missing", 9, path_), 9);
  EXPECT_FALSE(ReadIniBool("N", "zero", true, path_));
  EXPECT_TRUE(ReadIniBool("N", "neg", false, path_));
  EXPECT_TRUE(ReadIniBool("N", "text", true, path_));
  EXPECT_FALSE(ReadIniBool("N", "text", false, path_));
  EXPECT_TRUE(ReadIniBool("N", "big", true, path_));
  EXPECT_EQ(ReadIniString("N", "text", "d", path_), "4x");
  EXPECT_EQ(ReadIniString("N", "empty", "d", path_), "");
  EXPECT_EQ(ReadIniString("N", "missing", "d", path_), "d");
  EXPECT_EQ(ReadIniValue(path_, "N", "missing").value_or("?"), "");
  EXPECT_EQ(ReadIniValue(path_, "n", "TEXT").value_or("?"), "4x");
}

TEST_F(IniFile, MissingFileReadsEmptyAndReadNeverCreatesIt) {
  EXPECT_EQ(ReadIniString("S", "k", "d", path_), "d");
  EXPECT_EQ(ReadIniInteger("S", "k", 3, path_), 3);
  EXPECT_EQ(ReadIniValue(path_, "S", "k").value_or("?"), "");
  EXPECT_EQ(ReadIniValue(dir_ + "/no/such/dir.cfg", "S", "k").value_or("?"), "");
  TTextList lines{"stale"};
  EXPECT_FALSE(ReadIniSection(path_, "S", &lines));
  EXPECT_TRUE(lines.empty());
  EXPECT_TRUE(DirEntries().empty());
}

TEST_F(IniFile, UnreadableFileGivesDefaultsAndIsNotReplaced) {
  ASSERT_EQ(mkdir(path_.c_str(), 0755), 0);
  EXPECT_EQ(ReadIniString("S", "k", "d", path_), "d");
  EXPECT_EQ(ReadIniInteger("S", "k", 3, path_), 3);
  EXPECT_TRUE(ReadIniBool("S", "k", true, path_));
  EXPECT_FALSE(ReadIniValue(path_, "S", "k").has_value());
  EXPECT_EQ(WriteIniString("S", "k", "v", path_), EISDIR);
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST_F(IniFile, WriteKeepsEverySectionEntryAndOrder) {
  Write(kSample);
  ASSERT_EQ(WriteIniString("GLOBALS", "languagefile", "deutsch.lng", path_), 0);
  ASSERT_EQ(WriteIniString("Globals", "ProductVersion", "1.0", path_), 0);
  ASSERT_EQ(WriteIniString("New", "k", "v", path_), 0);
  EXPECT_EQ(Contents(),
            "; leading comment\n"
            "  [ Globals ]  \n"
            "  InstallPath  =  /usr/vantrel/voltmon/  \n"
            "\n"
            "LanguageFile=deutsch.lng\r\n"
            "ProductVersion=1.0\r\n"
            "; Commented=1\n"
            "[Files]\n"
            "  bin/qslx  \n"
            "Mode = a=b\n"
            "[Empty]\n"
            "[New]\n"
            "k=v\n");
  TTextList lines;
  ASSERT_TRUE(ReadIniSection(path_, "Files", &lines));
  EXPECT_EQ(lines, (TTextList{"bin/qslx", "Mode=a=b"}));
  EXPECT_EQ(DirEntries(), (std::vector<std::string>{"test.cfg"}));
}

TEST_F(IniFile, WriteCreatesMissingFileAndFailsWithTheSystemsReason) {
  ASSERT_EQ(WriteIniString("Globals", "InstallPath", "/opt/x/", path_), 0);
  EXPECT_EQ(Contents(), "[Globals]\nInstallPath=/opt/x/\n");
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  EXPECT_EQ(WriteIniString("S", "k", "v", dir_ + "/missing/test.cfg"), ENOENT);
  // A directory where the file should be is a save that fails, not one that
  // replaces the directory.
  EXPECT_EQ(SaveIniFile(dir_, TIniDocument()), EISDIR);
  EXPECT_EQ(DirEntries(), (std::vector<std::string>{"test.cfg"}));
}

TEST_F(IniFile, WriteKeepsOwnerAndMode) {
  if (getuid() != 0) GTEST_SKIP() << "needs root, to give the file another owner";
  Write("[S]\nk=1\n");
  ASSERT_EQ(chmod(path_.c_str(), 0440), 0);
  ASSERT_EQ(chown(path_.c_str(), 65534, 65534), 0);
  ASSERT_EQ(WriteIniString("S", "k", "2", path_), 0);
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0440u);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);
  EXPECT_EQ(Contents(), "[S]\nk=2\n");
  EXPECT_EQ(DirEntries(), (std::vector<std::string>{"test.cfg"}));
}

TEST_F(IniFile, WriteThroughSymbolicLinkKeepsTheLink) {
  std::string real = dir_ + "/real.cfg";
  std::ofstream(real) << "[S]\nk=1\n";
  ASSERT_EQ(symlink("real.cfg", path_.c_str()), 0);
  ASSERT_EQ(WriteIniString("S", "k", "2", path_), 0);
  struct stat st;
  ASSERT_EQ(lstat(path_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadIniString("S", "k", "", real), "2");
}

TEST_F(IniFile, UnstorableEntryLeavesFileUntouched) {
  Write("[S]\nk=1\n");
  EXPECT_EQ(WriteIniString("S", "k", "2\n[Other]\nx=y", path_), EINVAL);
  EXPECT_EQ(WriteIniString("S", "a=b", "2", path_), EINVAL);
  EXPECT_EQ(Contents(), "[S]\nk=1\n");
}
