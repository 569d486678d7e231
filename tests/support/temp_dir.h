// Temporary directories for tests, and the small file operations the system
// tests need around them.
#ifndef VOLTMON_TESTS_SUPPORT_TEMP_DIR_H_
#define VOLTMON_TESTS_SUPPORT_TEMP_DIR_H_

#include <sys/types.h>

#include <string>
#include <vector>

// A fresh directory below $TMPDIR (or /tmp) with `mode`, removed with
// everything in it on destruction unless the environment variable
// VM_KEEP_TEMP is set. Throws std::runtime_error when it cannot be made.
class TTempDir {
 public:
  explicit TTempDir(const std::string& prefix = "vmtest", mode_t mode = 0700);
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  // The directory, without trailing "/".
  const std::string& path() const { return path_; }
  // path() + "/" + name.
  std::string Sub(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Removes `path` and, for a directory, everything below it; symbolic links
// are removed, never followed. True when nothing is left (also when nothing
// was there).
bool RemoveTree(const std::string& path);

// Creates `path` and its missing parents with `mode`.
bool MakeDirs(const std::string& path, mode_t mode = 0755);

// Writes `content` to `path` (created or truncated, its missing parent
// directories made) and sets `mode`.
bool WriteFile(const std::string& path, const std::string& content, mode_t mode = 0644);

// The whole file; the empty text when it cannot be read.
std::string ReadFile(const std::string& path);

bool FileExists(const std::string& path);

// The lines of `text` without their line feeds; a last line without one
// still counts.
std::vector<std::string> LinesOf(const std::string& text);

#endif  // VOLTMON_TESTS_SUPPORT_TEMP_DIR_H_
