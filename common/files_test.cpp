#include "common/files.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

// Bytes of every value, so that a misplaced chunk shows.
std::string Pattern(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
  return text;
}

std::string ReadByStream(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace

// Sizes around the first read's room and far past it come back byte for byte.
TEST(ReadWholeFile, RegularFilesOfEverySize) {
  TTempDir dir;
  for (size_t size : {0u, 1u, 8191u, 8192u, 8193u, 16385u, 1u << 20}) {
    SCOPED_TRACE(size);
    const std::string path = dir.Sub("f" + std::to_string(size));
    const std::string text = Pattern(size);
    ASSERT_TRUE(WriteFile(path, text));
    std::string read = "stale";
    ASSERT_EQ(ReadWholeFile(path, &read), 0);
    EXPECT_EQ(read, text);
  }
}

// Files whose size the system does not tell are read to their end, however
// many times the room must grow.
TEST(ReadWholeFile, FilesWithoutAKnownSize) {
  for (const char* path : {"/proc/self/status", "/proc/self/smaps", "/proc/self/cmdline"}) {
    SCOPED_TRACE(path);
    std::string read;
    ASSERT_EQ(ReadWholeFile(path, &read), 0);
    const std::string expected = ReadByStream(path);
    ASSERT_FALSE(expected.empty());
    // smaps changes between reads as memory is used; its start does not.
    const size_t head = expected.find('\n');
    EXPECT_EQ(read.substr(0, head), expected.substr(0, head));
    if (std::string(path) != "/proc/self/smaps") {
      EXPECT_EQ(read.size(), expected.size());
    }
  }
}

TEST(ReadWholeFile, FailuresGiveTheErrorAndNoText) {
  TTempDir dir;
  ASSERT_TRUE(MakeDirs(dir.Sub("sub")));
  const struct {
    std::string path;
    int error;
  } kCases[] = {
      {dir.Sub("missing"), ENOENT},
      {dir.Sub("sub"), EISDIR},
      {dir.Sub("missing/below"), ENOENT},
  };
  for (const auto& k : kCases) {
    SCOPED_TRACE(k.path);
    std::string read = "stale";
    EXPECT_EQ(ReadWholeFile(k.path, &read), k.error);
    EXPECT_EQ(read, "");
  }
}

namespace {

// Runs `body` in a child process and gives its exit status, or -1 when it
// did not end within `seconds` (it is then killed).
int InChild(int seconds, const std::function<int()>& body) {
  const pid_t child = fork();
  if (child == 0) _exit(body());
  if (child < 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return -1;
    }
    usleep(10000);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

// Whatever is not a regular file within the bound is refused at once, with
// nothing read: no wait on a pipe without writer, no end to /dev/zero.
TEST(ReadWholeFile, RefusesWhatIsNotARegularFileWithinTheBound) {
  TTempDir dir;
  ASSERT_EQ(mkfifo(dir.Sub("fifo").c_str(), 0600), 0);
  ASSERT_TRUE(WriteFile(dir.Sub("big"), std::string(5000, 'x')));
  ASSERT_TRUE(MakeDirs(dir.Sub("sub")));
  const struct {
    std::string path;
    int64_t limit;
    int error;
  } kCases[] = {
      {dir.Sub("fifo"), kSettingsFileLimit, kErrorNotRegularFile},
      {"/dev/zero", kSettingsFileLimit, kErrorNotRegularFile},
      {"/dev/null", kModelDatabaseLimit, kErrorNotRegularFile},
      {dir.Sub("sub"), kSettingsFileLimit, EISDIR},
      {dir.Sub("big"), 4999, kErrorFileTooLarge},
      {dir.Sub("big"), 5000, 0},
  };
  for (const auto& k : kCases) {
    SCOPED_TRACE(k.path + " within " + std::to_string(k.limit));
    const auto start = std::chrono::steady_clock::now();
    std::string read = "stale";
    EXPECT_EQ(ReadWholeFile(k.path, &read, k.limit), k.error);
    EXPECT_EQ(read.size(), k.error == 0 ? 5000u : 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_FALSE(FileErrorText(k.error).empty());
  }
  EXPECT_EQ(FileErrorText(kErrorNotRegularFile),
            "Not a regular file (a pipe, a device or a socket)");
  EXPECT_EQ(FileErrorText(ENOENT), "No such file or directory");
}

// A /proc file tells no size: its bound is found while reading.
TEST(ReadWholeFile, BoundHoldsForFilesWithoutAKnownSize) {
  std::string read;
  EXPECT_EQ(ReadWholeFile("/proc/self/smaps", &read, 100), kErrorFileTooLarge);
  EXPECT_EQ(read, "");
}

// An open that a termination signal interrupts is given up; before such a
// signal, an interrupted open is made again.
TEST(OpenRetrying, GivesUpOnlyAfterAnEndSignal) {
  TTempDir dir;
  const std::string fifo = dir.Sub("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (bool noted : {true, false}) {
    SCOPED_TRACE(noted ? "end signal" : "other signal");
    const int status = InChild(2, [&]() {
      struct sigaction action {};
      action.sa_handler = noted ? [](int) { NoteEndSignal(); } : [](int) {};
      if (sigaction(SIGALRM, &action, nullptr) != 0) return 2;
      alarm(1);
      // Blocks until a writer comes: none does.
      const int fd = OpenRetrying(fifo, O_RDONLY);
      return fd < 0 && errno == EINTR ? 0 : 1;
    });
    EXPECT_EQ(status, noted ? 0 : -1);
  }
}

// A link at the name is refused when asked (its target left as it was), or
// followed; a pipe is never written to.
TEST(ReplaceFile, LinksAndFilesOfOtherKinds) {
  TTempDir dir;
  ASSERT_TRUE(WriteFile(dir.Sub("target"), "target"));
  ASSERT_EQ(symlink(dir.Sub("target").c_str(), dir.Sub("link").c_str()), 0);
  ASSERT_EQ(symlink(dir.Sub("none").c_str(), dir.Sub("dangling").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.Sub("fifo").c_str(), 0600), 0);
  EXPECT_EQ(ReplaceFile(dir.Sub("link"), "new", TLinkAtName::kRefuse), kErrorSymbolicLink);
  EXPECT_EQ(ReadFile(dir.Sub("target")), "target");
  EXPECT_EQ(ReplaceFile(dir.Sub("dangling"), "new", TLinkAtName::kRefuse), kErrorSymbolicLink);
  EXPECT_EQ(ReplaceFile(dir.Sub("dangling"), "new"), kErrorDanglingLink);
  EXPECT_FALSE(FileExists(dir.Sub("none")));
  EXPECT_EQ(ReplaceFile(dir.Sub("fifo"), "new"), kErrorNotRegularFile);
  EXPECT_EQ(ReplaceFile(dir.Sub("link"), "new"), 0);
  EXPECT_EQ(ReadFile(dir.Sub("target")), "new");
  struct stat st;
  ASSERT_EQ(lstat(dir.Sub("link").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

// Temporary files of a save that was killed are removed at the next save of
// the same file; a fresh or locked one, or one of another name, stays.
TEST(ReplaceFile, RemovesStaleTemporariesOfItsOwnFile) {
  TTempDir dir;
  const std::string path = dir.Sub("wksrv.cfg");
  ASSERT_TRUE(WriteFile(path, "old"));
  const struct {
    const char* name;
    int age;
    bool locked;
    bool stays;
  } kCases[] = {
      {".wksrv.cfg.a1B2c3", 60, false, false}, {".wksrv.cfg.Zz0000", 60, true, true},
      {".wksrv.cfg.q1w2e3", 0, false, true},   {".wksrv.cfg.bak", 60, false, true},
      {".other.cfg.a1B2c3", 60, false, true},  {".wksrv.cfg.a1B2c34", 60, false, true},
  };
  std::vector<int> held;
  for (const auto& k : kCases) {
    const std::string temporary = dir.Sub(k.name);
    ASSERT_TRUE(WriteFile(temporary, "litter"));
    const struct timespec times[2] = {{time(nullptr) - k.age, 0}, {time(nullptr) - k.age, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, temporary.c_str(), times, 0), 0);
    if (!k.locked) continue;
    held.push_back(open(temporary.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(flock(held.back(), LOCK_EX), 0);
  }
  ASSERT_EQ(ReplaceFile(path, "new"), 0);
  EXPECT_EQ(ReadFile(path), "new");
  for (const auto& k : kCases) EXPECT_EQ(FileExists(dir.Sub(k.name)), k.stays) << k.name;
  for (int fd : held) close(fd);
}

// A file that is a mount point cannot be renamed over: it is written in
// place, and the caller told so.
TEST(ReplaceFile, BindMountedFileIsWrittenInPlace) {
  if (getuid() != 0) GTEST_SKIP() << "needs root, to mount";
  TTempDir dir;
  const std::string path = dir.Sub("wksrv.cfg");
  const std::string source = dir.Sub("source.cfg");
  ASSERT_TRUE(WriteFile(path, "old and longer"));
  ASSERT_TRUE(WriteFile(source, "old and longer"));
  const int status = InChild(10, [&]() {
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
      return 3;
    if (mount(source.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0) return 4;
    bool in_place = false;
    if (ReplaceFile(path, "new", TLinkAtName::kReplaceTarget, &in_place) != 0 || !in_place)
      return 1;
    return ReadFile(path) == "new" ? 0 : 2;
  });
  if (status == 3) GTEST_SKIP() << "no mount namespace here";
  ASSERT_EQ(status, 0);
  // The bind mount showed the source file: it holds the data, and no
  // temporary file is left beside it.
  EXPECT_EQ(ReadFile(source), "new");
  std::vector<std::string> left;
  DIR* listing = opendir(dir.path().c_str());
  ASSERT_NE(listing, nullptr);
  while (const dirent* entry = readdir(listing)) {
    if (std::string(entry->d_name).rfind(".wksrv.cfg.", 0) == 0) left.push_back(entry->d_name);
  }
  closedir(listing);
  EXPECT_TRUE(left.empty());
}
