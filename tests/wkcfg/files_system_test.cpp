// The files the programs read and write, against careless admins and hostile
// files: the events screen's "Save Events to file" over every kind of name,
// every reader on a pipe, /dev/zero and an oversized file (the console, the
// slave's check and the master stand-in), the comments of a settings file
// through a save, a bind-mounted configuration and a killed save's litter.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/subprocess.h"
#include "tests/wkcfg/console_session.h"

namespace {

const char kEvents[] = "EventCounter=1\nEvent0=0|$LOG|$SHUTDOWN\n";
const char kOwnFile[] = "settings file of the installation";
const char kNotRegular[] = "Not a regular file";
const char kTooLarge[] = "File too large";

std::string Config() {
  return ServerConfig(kTestModel, std::string("UpsDevice=USB\n") + kEvents);
}

// The events screen of a console started on Config().
::testing::AssertionResult OpenEvents(TConsoleSession& console) {
  if (auto started = console.StartMenu(); !started) return started;
  return console.Open("Events Configuration", "EVENTS CONFIGURATION");
}

// The events screen's command `key` ("w" or "l") with `name` typed into its
// box (relative names count from the installation, the console's directory).
::testing::AssertionResult Command(TConsoleSession& console, const std::string& key,
                                   const std::string& name) {
  if (auto sent = console.Keys({key}); !sent) return sent;
  if (auto shown = console.Shows(key == "w" ? "Save as:" : "Open:"); !shown) return shown;
  if (auto typed = console.Type(name); !typed) return typed;
  return console.Keys({"Enter"});
}

// An error box with `text` is closed and the events screen is there again
// with its job, so nothing was lost.
::testing::AssertionResult ErrorClosed(TConsoleSession& console, const std::string& text) {
  if (auto shown = console.Shows(text); !shown) return shown;
  if (auto sent = console.Keys({"Enter"}); !sent) return sent;
  if (auto gone = console.Hides(text); !gone) return gone;
  return console.ShowsInOrder({"EVENTS CONFIGURATION", "Configured jobs list"});
}

bool Fail(const std::string& what) {
  ADD_FAILURE() << what << ": " << strerror(errno);
  return false;
}

bool MakeFifo(const std::string& path) {
  unlink(path.c_str());
  return mkfifo(path.c_str(), 0600) == 0 || Fail("mkfifo " + path);
}

// A file of 17 MiB, past the bound of a settings or events file; sparse.
bool MakeHuge(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return Fail("create " + path);
  const bool sized = ftruncate(fd, off_t{17} << 20) == 0;
  close(fd);
  return sized || Fail("ftruncate " + path);
}

bool LinkTo(const std::string& target, const std::string& path) {
  unlink(path.c_str());
  return symlink(target.c_str(), path.c_str()) == 0 || Fail("symlink " + path);
}

// ---- "Save Events to file" over every kind of name ----

struct TSaveCase {
  const char* name;
  // Lays out what the name meets; the name to type.
  std::function<std::string(const TConsoleTree&)> prepare;
  const char* answer;  // to the replace question; "" when none is asked
  const char* shows;   // the box that ends the command
  // The file that must hold `kept` afterwards (relative to the tree), or ""
  // when the command wrote the events to the typed name.
  const char* kept_file;
  const char* kept;
};

void PrintTo(const TSaveCase& c, std::ostream* out) {
  *out << c.name;
}

// A file of root alone, and another user's link to it in a world-writable
// sticky directory.
std::string StickyLink(const TConsoleTree& t) {
  WriteFile(t.Path("secret"), "root only\n", 0600);
  MakeDirs(t.Path("sticky"));
  chmod(t.Path("sticky").c_str(), 01777);
  LinkTo(t.Path("secret"), t.Path("sticky/link.evn"));
  if (lchown(t.Path("sticky/link.evn").c_str(), 65534, 65534) != 0) Fail("lchown");
  return "sticky/link.evn";
}

// The name `relative` itself, for the installation's own files.
template <const char* relative>
std::string Named(const TConsoleTree&) {
  return relative;
}
const char kServerConfig[] = "bin/wksrv.cfg";
const char kSuiteSettings[] = "bin/./voltmon.cfg";
const char kSlaveConfig[] = "bin/qslx.cfg";
const char kLanguageFile[] = "languages/english.lng";
const char kDefaultEvents[] = "bin/defevent.evn";
const char kModelDatabase[] = "bin/../bin/upsdb.ups";

const TSaveCase kSaveCases[] = {
    {"ExistingFileKeptOnNo",
     [](const TConsoleTree& t) {
       WriteFile(t.Path("mine.evn"), "old\n");
       return std::string("mine.evn");
     },
     "n", "EVENTS CONFIGURATION", "mine.evn", "old\n"},
    {"ExistingFileReplacedOnYes",
     [](const TConsoleTree& t) {
       WriteFile(t.Path("mine.evn"), "old\n");
       return std::string("mine.evn");
     },
     "y", "File saved properly.", "", ""},
    {"NewFileWithoutQuestion", [](const TConsoleTree&) { return std::string("new.evn"); }, "",
     "File saved properly.", "", ""},
    {"LinkInStickyDirectory", StickyLink, "", "symbolic link", "secret", "root only\n"},
    {"Directory",
     [](const TConsoleTree& t) {
       MakeDirs(t.Path("dir"));
       return std::string("dir");
     },
     "", "Is a directory", "", ""},
    {"Fifo",
     [](const TConsoleTree& t) {
       MakeFifo(t.Path("fifo"));
       return std::string("fifo");
     },
     "", kNotRegular, "", ""},
    {"ServerConfig", Named<kServerConfig>, "", kOwnFile, "", ""},
    {"SuiteSettings", Named<kSuiteSettings>, "", kOwnFile, "", ""},
    {"SlaveConfig", Named<kSlaveConfig>, "", kOwnFile, "", ""},
    {"LanguageFile", Named<kLanguageFile>, "", kOwnFile, "", ""},
    {"ModelDatabase", Named<kModelDatabase>, "", kOwnFile, "", ""},
    {"DefaultEvents", Named<kDefaultEvents>, "", kOwnFile, "", ""},
};

class SaveEventsTo : public ::testing::TestWithParam<TSaveCase> {};

TEST_P(SaveEventsTo, WritesOnlyARegularFileOfItsOwnAfterAsking) {
  const TSaveCase& c = GetParam();
  TConsoleSession console(Config());
  const TConsoleTree& tree = console.tree();
  const std::string name = c.prepare(tree);
  // Every file of the installation as it was, to be compared afterwards.
  const char* const own[] = {"bin/wksrv.cfg", "bin/voltmon.cfg", "languages/english.lng",
                             "bin/upsdb.ups", "bin/defevent.evn"};
  std::vector<std::string> before;
  for (const char* file : own) before.push_back(ReadFile(tree.Path(file)));
  ASSERT_TRUE(OpenEvents(console));
  ASSERT_TRUE(Command(console, "w", name));
  if (*c.answer != '\0') {
    ASSERT_TRUE(console.Shows("Replace it ?"));
    ASSERT_TRUE(console.Keys({c.answer}));
  }
  ASSERT_TRUE(console.Shows(c.shows));
  if (*c.kept_file != '\0') {
    EXPECT_EQ(ReadFile(tree.Path(c.kept_file)), c.kept);
  } else if (std::string(c.shows) == "File saved properly.") {
    EXPECT_EQ(ReadFile(tree.Path(name)), "0|$LOG|$SHUTDOWN\n");
  }
  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(ReadFile(tree.Path(own[i])), before[i]);
  EXPECT_FALSE(FileExists(tree.Path("bin/qslx.cfg")));
  // The console goes on: the box closes and the screen is left with ESC.
  if (std::string(c.shows) != "EVENTS CONFIGURATION") {
    ASSERT_TRUE(ErrorClosed(console, c.shows));
  }
  ASSERT_TRUE(console.Keys({"Escape"}));
  ASSERT_TRUE(console.Hides("EVENTS CONFIGURATION"));
}

INSTANTIATE_TEST_SUITE_P(Names, SaveEventsTo, ::testing::ValuesIn(kSaveCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Every reader on a pipe, /dev/zero and an oversized file ----

struct TReadCase {
  const char* name;
  std::function<bool(const std::string&)> make;  // makes the file at the path
  const char* message;
};

void PrintTo(const TReadCase& c, std::ostream* out) {
  *out << c.name;
}

const TReadCase kReadCases[] = {
    {"Fifo", MakeFifo, kNotRegular},
    {"DevZero", [](const std::string& path) { return LinkTo("/dev/zero", path); }, kNotRegular},
    {"Oversized", MakeHuge, kTooLarge},
};

// Ends within a few seconds: a reader that waited or ate memory would not.
constexpr int kEndsWithinMs = 5000;

class Reader : public ::testing::TestWithParam<TReadCase> {};

TEST_P(Reader, EventsLoadShowsTheErrorAndKeepsTheEdits) {
  TConsoleSession console(Config());
  ASSERT_TRUE(GetParam().make(console.tree().Path("events.evn")));
  ASSERT_TRUE(OpenEvents(console));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Command(console, "l", "events.evn"));
  ASSERT_TRUE(console.Shows(GetParam().message, kEndsWithinMs));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ASSERT_TRUE(ErrorClosed(console, GetParam().message));
  ASSERT_TRUE(console.Keys({"Escape"}));
  ASSERT_TRUE(console.Hides("EVENTS CONFIGURATION"));
  ASSERT_TRUE(console.SaveAndExit());
  EXPECT_EQ(console.Saved("Event0"), "0|$LOG|$SHUTDOWN");
}

TEST_P(Reader, ConsoleStartEndsWithTheReason) {
  TConsoleSession console(Config());
  console.KeepPaneAfterEnd();
  ASSERT_TRUE(GetParam().make(console.tree().ConfigPath()));
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Shows(GetParam().message, kEndsWithinMs));
  ASSERT_TRUE(console.Shows("Invalid setup"));
  ASSERT_TRUE(console.EndedCleanly());
}

TEST_P(Reader, SlaveConsoleStartEndsWithTheReason) {
  TConsoleSession console([](const TConsoleTree&) { return std::string(); });
  console.KeepPaneAfterEnd();
  ASSERT_TRUE(GetParam().make(console.tree().ConfigPath()));
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Shows(GetParam().message, kEndsWithinMs));
  ASSERT_TRUE(console.Shows("Invalid setup"));
  ASSERT_TRUE(console.EndedCleanly());
}

// The slave's check and the master stand-in, as commands.
TEST_P(Reader, CommandsEndWithTheReason) {
  TTempDir dir("files_sys");
  const std::string path = dir.Sub("settings.cfg");
  ASSERT_TRUE(GetParam().make(path));
  const struct {
    std::vector<std::string> argv;
    int status;
  } kCommands[] = {
      {{VM_QSCFG_PATH, "--check", path}, 1},
      {{VM_QSMASTER_PATH, "events", "--config", path}, 2},
  };
  for (const auto& command : kCommands) {
    SCOPED_TRACE(command.argv[0]);
    TRunOptions options;
    options.merge_stderr = true;
    options.timeout_ms = kEndsWithinMs;
    const TRunResult run = RunCommand(command.argv, options);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_code, command.status);
    EXPECT_NE(run.out.find(path + ": " + GetParam().message), std::string::npos) << run.out;
  }
}

INSTANTIATE_TEST_SUITE_P(Files, Reader, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Settings files through a save ----

// True when the lines of `kept` that are comments or blank appear in
// `saved` in the same order.
::testing::AssertionResult CommentsKept(const std::string& kept, const std::string& saved) {
  const std::vector<std::string> lines = LinesOf(saved);
  size_t at = 0;
  for (const std::string& line : LinesOf(kept)) {
    if (!line.empty() && line[0] != ';') continue;
    while (at < lines.size() && lines[at] != line) ++at;
    if (at == lines.size()) return ::testing::AssertionFailure() << "lost: \"" << line << "\"";
    ++at;
  }
  return ::testing::AssertionSuccess();
}

TEST(CommentedSettings, ServerConfigKeepsEveryComment) {
  const std::string config =
      "; The master server's settings.\n\n[Wattkeep]\n; The model, as the console picks it.\n"
      "UpsModelName=" +
      std::string(kTestModel) + "\nUpsDevice=USB\n\n; Events: one line each.\n" + kEvents +
      "; end of the section\n\n[Other]\n; kept as well\nMine=1\n";
  TConsoleSession console(config);
  ASSERT_TRUE(console.StartMenu());
  ASSERT_TRUE(console.SaveAndExit());
  EXPECT_TRUE(CommentsKept(config, console.Config())) << console.Config();
  EXPECT_NE(console.Config().find("[Other]\n; kept as well\nMine=1\n"), std::string::npos);
  EXPECT_EQ(console.Saved("SrvListenPort"), "5769");
}

TEST(CommentedSettings, ShippedSlaveConfigKeepsEveryComment) {
  const std::string shipped = ReadFile(std::string(VM_PACKET_DIR) + "/bin/qslx.cfg");
  ASSERT_NE(shipped.find("; Master servers allowed"), std::string::npos);
  TConsoleSession console([&shipped](const TConsoleTree&) { return shipped; });
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Shows("Scripts Configuration"));
  // Save and Exit, below the five screens and the separator.
  ASSERT_TRUE(console.Keys({"Down", "Down", "Down", "Down", "Down", "Enter"}));
  ASSERT_TRUE(console.EndedCleanly());
  EXPECT_TRUE(CommentsKept(shipped, console.Config())) << console.Config();
  EXPECT_EQ(LinesOf(console.Config()).size(), LinesOf(shipped).size()) << console.Config();
}

// A configuration that is a mount point is written in place, and said so.
TEST(SavedConfig, BindMountedIsWrittenInPlace) {
  TConsoleSession console(Config());
  const std::string source = console.tree().Path("mounted.cfg");
  ASSERT_TRUE(WriteFile(source, Config()));
  ASSERT_EQ(mount(source.c_str(), console.tree().ConfigPath().c_str(), nullptr, MS_BIND, nullptr),
            0)
      << strerror(errno);
  ASSERT_TRUE(console.StartMenu());
  ASSERT_TRUE(console.Keys({"Up", "Up", "Enter"}));
  ASSERT_TRUE(console.Shows("Saved in place: the file is a mount point."));
  ASSERT_TRUE(console.Keys({"Enter"}));
  ASSERT_TRUE(console.EndedCleanly());
  EXPECT_NE(ReadFile(source).find("SrvListenPort=5769\n"), std::string::npos) << ReadFile(source);
  umount(console.tree().ConfigPath().c_str());
}

// A configuration that is a link to a missing file: the save error says so
// and names the file; the edits stay.
TEST(SavedConfig, LinkToAMissingFileIsNamed) {
  TConsoleSession console(Config());
  ASSERT_TRUE(console.StartMenu());
  ASSERT_TRUE(LinkTo(console.tree().Path("gone.cfg"), console.tree().ConfigPath()));
  ASSERT_TRUE(console.Keys({"Up", "Up", "Enter"}));
  ASSERT_TRUE(console.Shows("A symbolic link to a file that does not exist:"));
  ASSERT_TRUE(console.Shows("bin/wksrv.cfg"));
  ASSERT_TRUE(console.Keys({"Enter"}));
  ASSERT_TRUE(console.Shows("Save and Exit"));
  EXPECT_FALSE(FileExists(console.tree().Path("gone.cfg")));
}

// The temporary file of a save that was killed before its rename goes at
// the next save.
TEST(SavedConfig, KilledSavesTemporaryIsRemoved) {
  TConsoleSession console(Config());
  const std::string litter = console.tree().Path("bin/.wksrv.cfg.Kx81Qa");
  ASSERT_TRUE(WriteFile(litter, "half of a save"));
  const struct timespec old[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, litter.c_str(), old, 0), 0);
  ASSERT_TRUE(console.StartMenu());
  ASSERT_TRUE(console.SaveAndExit());
  EXPECT_FALSE(FileExists(litter));
  EXPECT_EQ(console.Saved("UpsDevice"), "USB");
}

}  // namespace
