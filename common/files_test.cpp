#include "common/files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sstream>

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
  TempDir dir;
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
  TempDir dir;
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
