// The real console against hostile surroundings: files it loads at start,
// saves that the file system refuses, termination signals and resize storms
// on each kind of screen. Every case runs in namespaces of its own, so the
// mounts it makes vanish with it.
#include <errno.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "common/scramble.h"
#include "tests/wkcfg/console_session.h"

namespace {

const char kTitle[] = "Wattkeep Configuration";
const char kHint[] = "Press [ESC] to return";
const char kInvalidSetup[] = "Invalid setup. Pls. uninstall and then install this software again.";
const char kBadModel[] = "cannot be read from the model database";
// The first frame after the largest start files: a 10 MB configuration takes
// seconds to load in the sanitizer builds when the other tests run beside.
constexpr int kFirstFrameMs = 30000;

// The test model with a device, so that every screen can be left with ESC.
std::string SoundConfig(const std::string& extra = "") {
  return ServerConfig(kTestModel, "UpsDevice=USB\n" + extra);
}

std::string Repeat(const std::string& text, size_t times) {
  std::string out;
  out.reserve(text.size() * times);
  for (size_t i = 0; i < times; ++i) out += text;
  return out;
}

// A database line of 41 fields named `name`.
std::string ModelLine(const std::string& name) {
  return name + Repeat("|1", 40);
}

void Append(const std::string& path, const std::string& text) {
  WriteFile(path, ReadFile(path) + text);
}

::testing::AssertionResult Failed(const std::string& what) {
  return ::testing::AssertionFailure() << what << ": " << strerror(errno);
}

// The entry `downs` below the first of the menu shown, opened: its hint
// line appears.
::testing::AssertionResult Open(TConsoleSession& console, int downs, const std::string& title) {
  std::vector<std::string> keys(static_cast<size_t>(downs), "Down");
  keys.push_back("Enter");
  if (auto sent = console.Keys(keys); !sent) return sent;
  if (auto shown = console.Shows(kHint); !shown) return shown;
  return console.Shows(title);
}

// ESC out of a screen: its hint line goes.
::testing::AssertionResult Back(TConsoleSession& console) {
  if (auto sent = console.Keys({"Escape"}); !sent) return sent;
  return console.Hides(kHint);
}

// The terminal as the shell had it: out of the alternate screen, the cursor
// shown.
::testing::AssertionResult TerminalGivenBack(TConsoleSession& console) {
  const std::string state = console.term().Display("#{alternate_on} #{cursor_flag}");
  if (state == "0 1") return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "alternate screen and cursor: \"" << state << "\"";
}

// Opens and leaves every screen of both menus (all nine with a model, the
// system screen alone without), then leaves the console with Exit.
void WalkEveryScreen(TConsoleSession& console, bool model_selected) {
  ASSERT_TRUE(console.Shows(kTitle, kFirstFrameMs));
  ASSERT_TRUE(Open(console, 0, "SYSTEM CONFIGURATION"));
  ASSERT_TRUE(Back(console));
  if (model_selected) {
    const char* const main_screens[] = {"SHUTDOWN CONFIGURATION", "LOG & DATA FILE CONFIGURATION",
                                        "MAIL SERVER CONFIGURATION", "EVENTS CONFIGURATION"};
    for (int i = 0; i < 4; ++i) {
      ASSERT_TRUE(Open(console, i + 1, main_screens[i]));
      ASSERT_TRUE(Back(console));
    }
    const char* const advanced[] = {
        "ADVANCED SYSTEM CONFIGURATION", "ADVANCED SHUTDOWN CONFIGURATION",
        "ADVANCED QS SYSTEM CONFIGURATION", "Autonomy Calibration Test"};
    ASSERT_TRUE(console.Keys({"Down", "Down", "Down", "Down", "Down", "Enter"}));
    ASSERT_TRUE(console.Shows("Return to Main Menu"));
    for (int i = 0; i < 4; ++i) {
      ASSERT_TRUE(Open(console, i, advanced[i]));
      ASSERT_TRUE(Back(console));
    }
    ASSERT_TRUE(console.Keys({"Up", "Enter"}));
    ASSERT_TRUE(console.Hides("Return to Main Menu"));
  }
  ASSERT_TRUE(console.Keys({"Up", "Enter"}));
  ASSERT_TRUE(console.EndedCleanly());
  EXPECT_TRUE(TerminalGivenBack(console));
}

// ---- Hostile files at start ----

struct TStartCase {
  const char* name;
  std::function<void(const TConsoleTree&)> mutate;
  // Empty: the console starts and every screen opens; else the line it ends
  // with.
  const char* ends_with;
  bool model_selected;
};

// Named by its case, so that test listings stay readable and the same from
// run to run.
void PrintTo(const TStartCase& c, std::ostream* out) {
  *out << c.name;
}

const TStartCase kStartCases[] = {
    {"ConfigOf10MB",
     [](const TConsoleTree& t) {
       Append(t.ConfigPath(), Repeat("Junk=" + std::string(90, 'j') + "\n", 110000));
     },
     "", true},
    {"BinaryConfig",
     [](const TConsoleTree& t) {
       std::string bytes;
       for (int i = 0; i < 65536; ++i) bytes += static_cast<char>((i * 7919) >> 3);
       Append(t.ConfigPath(), bytes);
     },
     "", true},
    {"ConfigLineOf1MBAndCrlf",
     [](const TConsoleTree& t) {
       WriteFile(t.ConfigPath(),
                 "[Wattkeep]\r\nUpsModelName=" + std::string(kTestModel) +
                     "\r\nUpsDevice=USB\r\nSrvLocation=" + std::string(1 << 20, 'x') + "\r\n");
     },
     "", true},
    {"DuplicateSectionsAndCounters",
     [](const TConsoleTree& t) {
       Append(t.ConfigPath(),
              "EventCounter=4294967295\nEvent0=1|$LOG\n[WATTKEEP]\nUpsDevice=\n"
              "EventCounter=-1\n");
     },
     "", true},
    {"EventsOf200Jobs",
     [](const TConsoleTree& t) {
       std::string text = "EventCounter=255\n";
       const std::string jobs = Repeat("|$R_SHUT,10.0.0.1,6005", 200);
       for (int n = 0; n < 255; ++n) text += "Event" + std::to_string(n) + "=1" + jobs + "\n";
       Append(t.ConfigPath(), text);
     },
     "", true},
    {"DatabaseOf20000Lines",
     [](const TConsoleTree& t) {
       std::string text;
       for (int i = 0; i < 20000; ++i)
         text += Scramble(ModelLine("Model " + std::to_string(i))) + "\n";
       Append(t.Path("bin/upsdb.ups"), text);
     },
     "", true},
    {"DatabaseNotHex",
     [](const TConsoleTree& t) { WriteFile(t.Path("bin/upsdb.ups"), "not hex\nABC\n\x01\xff\n"); },
     "", false},
    {"EmptyDatabase", [](const TConsoleTree& t) { WriteFile(t.Path("bin/upsdb.ups"), ""); }, "",
     false},
    {"ModelLineCutShort",
     [](const TConsoleTree& t) {
       const std::string line = Scramble(std::string(kTestModel) + "|1|2");
       WriteFile(t.Path("bin/upsdb.ups"), line + "\n");
     },
     kBadModel, false},
    {"DatabaseIsADirectory",
     [](const TConsoleTree& t) {
       unlink(t.Path("bin/upsdb.ups").c_str());
       mkdir(t.Path("bin/upsdb.ups").c_str(), 0755);
     },
     kInvalidSetup, false},
    {"LanguageWithoutConsoleSections",
     [](const TConsoleTree& t) { WriteFile(t.Path("languages/english.lng"), "[QSSRV]\nx=1\n"); },
     "", true},
};

class HostileStart : public ::testing::TestWithParam<TStartCase> {};

TEST_P(HostileStart, StartsOrEndsWithItsMessage) {
  const TStartCase& c = GetParam();
  TConsoleSession console(SoundConfig());
  console.KeepPaneAfterEnd();
  c.mutate(console.tree());
  const std::string before = console.Config();
  ASSERT_TRUE(console.Start());
  if (*c.ends_with != '\0') {
    ASSERT_TRUE(console.Shows(c.ends_with));
    ASSERT_TRUE(console.EndedCleanly());
  } else {
    WalkEveryScreen(console, c.model_selected);
  }
  EXPECT_EQ(before, console.Config());
}

INSTANTIATE_TEST_SUITE_P(Files, HostileStart, ::testing::ValuesIn(kStartCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Save faults ----

// A fault made after the console started, its system text, and its cure.
struct TSaveFault {
  const char* name;
  std::function<::testing::AssertionResult(const TConsoleTree&)> make;
  const char* text;
  std::function<::testing::AssertionResult(const TConsoleTree&)> clear;
};

void PrintTo(const TSaveFault& c, std::ostream* out) {
  *out << c.name;
}

::testing::AssertionResult ReadOnlyBin(const TConsoleTree& t) {
  const std::string bin = t.Path("bin");
  if (mount(bin.c_str(), bin.c_str(), nullptr, MS_BIND, nullptr) != 0) return Failed("bind");
  if (mount(nullptr, bin.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
    return Failed("remount read-only");
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult Unmount(const TConsoleTree& t) {
  if (umount(t.Path("bin").c_str()) != 0) return Failed("umount");
  return ::testing::AssertionSuccess();
}

// A small file system over bin/ holding the configuration and a filler that
// takes the rest of its room.
::testing::AssertionResult FullBin(const TConsoleTree& t) {
  const std::string config = ReadFile(t.ConfigPath());
  if (mount("tmpfs", t.Path("bin").c_str(), "tmpfs", 0, "size=64k") != 0) return Failed("tmpfs");
  if (!WriteFile(t.ConfigPath(), config)) return Failed("config on tmpfs");
  FILE* filler = fopen(t.Path("bin/filler").c_str(), "w");
  if (filler == nullptr) return Failed("filler");
  const std::string block(4096, 'f');
  while (fwrite(block.data(), 1, block.size(), filler) == block.size() && fflush(filler) == 0) {
  }
  fclose(filler);
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult RemoveFiller(const TConsoleTree& t) {
  if (unlink(t.Path("bin/filler").c_str()) != 0) return Failed("unlink filler");
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult ConfigIsDirectory(const TConsoleTree& t) {
  if (unlink(t.ConfigPath().c_str()) != 0 || mkdir(t.ConfigPath().c_str(), 0755) != 0)
    return Failed("directory");
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult RemoveDirectory(const TConsoleTree& t) {
  if (rmdir(t.ConfigPath().c_str()) != 0) return Failed("rmdir");
  return ::testing::AssertionSuccess();
}

const TSaveFault kSaveFaults[] = {
    {"ReadOnlyBin", ReadOnlyBin, "Read-only file system", Unmount},
    {"FileSystemFull", FullBin, "No space left on device", RemoveFiller},
    {"ConfigReplacedByDirectory", ConfigIsDirectory, "Is a directory", RemoveDirectory},
};

class SaveFault : public ::testing::TestWithParam<TSaveFault> {};

TEST_P(SaveFault, ShowsTheSystemTextKeepsTheEditsAndSavesOnceCleared) {
  const TSaveFault& fault = GetParam();
  TConsoleSession console(SoundConfig());
  const TUnmountAtEnd unmount(console.tree().Path("bin"));
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(Open(console, 0, "SYSTEM CONFIGURATION"));
  ASSERT_TRUE(console.Keys({"Down", "Down"}));
  ASSERT_TRUE(console.Type("Hostile"));
  ASSERT_TRUE(console.Keys({"Enter"}));
  ASSERT_TRUE(Back(console));
  ASSERT_TRUE(fault.make(console.tree()));
  const std::string before = ReadFile(console.tree().ConfigPath());

  ASSERT_TRUE(console.Keys({"Up", "Up", "Enter"}));  // Save and Exit
  ASSERT_TRUE(console.Shows(fault.text));
  EXPECT_EQ(before, ReadFile(console.tree().ConfigPath()));
  ASSERT_TRUE(console.Keys({"Enter"}));
  ASSERT_TRUE(console.Hides(fault.text));
  ASSERT_TRUE(console.Shows("Save and Exit"));

  ASSERT_TRUE(fault.clear(console.tree()));
  ASSERT_TRUE(console.Keys({"Up", "Up", "Enter"}));
  ASSERT_TRUE(console.EndedCleanly());
  EXPECT_NE(console.Config().find("SrvLocation=Hostile\n"), std::string::npos) << console.Config();
}

INSTANTIATE_TEST_SUITE_P(Faults, SaveFault, ::testing::ValuesIn(kSaveFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Signals and resizes on each kind of screen ----

// How to reach one kind of screen from the start, and a text it shows.
struct TScreenKind {
  const char* name;
  const char* password;  // the configuration password, scrambled; "" for none
  std::vector<std::string> keys;
  const char* shows;
};

void PrintTo(const TScreenKind& c, std::ostream* out) {
  *out << c.name;
}

const TScreenKind kKinds[] = {
    {"Menu", "", {}, "Mail Server Configuration"},
    {"Form", "", {"Enter"}, "SYSTEM CONFIGURATION"},
    {"PopupList", "", {"Enter", "Enter"}, "Marrowline LI 800"},
    {"Dialog", "pw", {}, "[ENTER] Confirm"},
};

// The console started and brought to `kind`.
::testing::AssertionResult Reach(TConsoleSession& console, const TScreenKind& kind) {
  if (auto started = console.Start(); !started) return started;
  if (auto shown = console.Shows(*kind.password ? "Password:" : kTitle); !shown) return shown;
  if (!kind.keys.empty()) {
    if (auto sent = console.Keys(kind.keys); !sent) return sent;
  }
  return console.Shows(kind.shows);
}

std::string KindConfig(const TScreenKind& kind) {
  return SoundConfig(*kind.password ? "SrvMainPassword=" + Scramble(kind.password) + "\n" : "");
}

class SignalOnScreen : public ::testing::TestWithParam<std::tuple<TScreenKind, int>> {};

TEST_P(SignalOnScreen, EndsCleanlyAndWritesNothing) {
  const TScreenKind& kind = std::get<0>(GetParam());
  TConsoleSession console(KindConfig(kind));
  console.KeepPaneAfterEnd();
  const std::string before = console.Config();
  ASSERT_TRUE(Reach(console, kind));
  ASSERT_TRUE(console.Signal(std::get<1>(GetParam())));
  ASSERT_TRUE(console.EndedCleanly());
  EXPECT_TRUE(TerminalGivenBack(console));
  EXPECT_EQ(before, console.Config());
}

INSTANTIATE_TEST_SUITE_P(Kinds, SignalOnScreen,
                         ::testing::Combine(::testing::ValuesIn(kKinds),
                                            ::testing::Values(SIGTERM, SIGHUP, SIGINT, SIGQUIT)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "_" +
                                  std::to_string(std::get<1>(info.param));
                         });

class ResizeStorm : public ::testing::TestWithParam<TScreenKind> {};

TEST_P(ResizeStorm, LeavesTheScreenAsBefore) {
  const TScreenKind& kind = GetParam();
  TConsoleSession console(KindConfig(kind));
  ASSERT_TRUE(Reach(console, kind));
  const std::string calm = console.Screen();
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(i % 2 == 0 ? console.term().Resize(20, 5) : console.term().Resize(80, 25));
  }
  // Redrawn whole at the old size: the same screen as before the storm.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::string screen = console.Screen();
  while (screen != calm && std::chrono::steady_clock::now() < deadline) screen = console.Screen();
  EXPECT_EQ(calm, screen);
  ASSERT_TRUE(console.Signal(SIGTERM));
  ASSERT_TRUE(console.EndedCleanly());
}

INSTANTIATE_TEST_SUITE_P(Kinds, ResizeStorm, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
