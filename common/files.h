// The file routines shared by the programs: whole-file reads and writes,
// the atomic replacement of a file, existence and size. Each retries EINTR itself.
#ifndef VOLTMON_COMMON_FILES_H_
#define VOLTMON_COMMON_FILES_H_

#include <cstdint>
#include <string>

// Reads the whole file at `path` into `contents`. 0 on success, otherwise the
// errno of the failing call; `contents` then holds what was read before it.
int ReadWholeFile(const std::string& path, std::string* contents);

// Writes all of `data` to `fd`, retrying on EINTR and short writes; false
// on any other failure (errno tells).
bool WriteAll(int fd, const std::string& data);

// True when something (file or directory) exists at `path`.
bool PathExists(const std::string& path);

// The size in bytes; 0 when the file does not exist; -1 when it exists but
// cannot be opened or measured.
int64_t GetFileSize(const std::string& path);

// Replaces the file at `path` by `data`: a new file beside it, synced, then
// renamed over it, keeping an old file's owner and mode (a new file gets
// 0644); a symbolic link stays and its target is replaced. 0, or the system
// error number with the old file untouched and no temporary file left.
int ReplaceFile(const std::string& path, const std::string& data);

// open(2) with O_CLOEXEC and mode 0644 for a created file, retried on EINTR;
// the descriptor or -1.
int OpenRetrying(const std::string& path, int flags);

#endif  // VOLTMON_COMMON_FILES_H_
