// The suite's date and time formats and the size-capped log writer. A
// log that reaches its size limit is restarted from empty with its header,
// not rotated. Each line goes out in one write(2) on an O_APPEND descriptor,
// so that lines of concurrent writers never interleave inside a line. Writers
// that share a lock open the file before they take it and close it after,
// so that the lock covers only the checks and the write.
#include "common/log.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <mutex>

#include "common/files.h"
#include "common/text.h"

namespace {

// The formats of the suite: day/month/year, 24-hour clock.
const char kDateSeparator = '/';
const char kTimeSeparator = ':';

}  // namespace

std::string DateText(time_t when) {
  struct tm parts;
  if (localtime_r(&when, &parts) == nullptr) return "";
  char text[32];
  std::snprintf(text, sizeof text, "%02d%c%02d%c%04d", parts.tm_mday, kDateSeparator,
                parts.tm_mon + 1, kDateSeparator, parts.tm_year + 1900);
  return text;
}

std::string TimeText(time_t when) {
  struct tm parts;
  if (localtime_r(&when, &parts) == nullptr) return "";
  char text[32];
  std::snprintf(text, sizeof text, "%02d%c%02d%c%02d", parts.tm_hour, kTimeSeparator, parts.tm_min,
                kTimeSeparator, parts.tm_sec);
  return text;
}

namespace {

std::string FormatLine(const std::string& separator, const std::string& message, bool use_separator,
                       time_t when) {
  std::string date = DateText(when);
  std::string time = TimeText(when);
  std::string line = use_separator ? date + separator + time + separator + message
                                   : date + " " + time + "  " + message;
  line += '\n';
  return line;
}

// Opens the log for one more line: -1 when it must not or cannot be written.
// `*fresh` tells that the file is new or empty, and so gets the header first.
//
// A link at the log's place is never followed, not even a dangling one: a
// root writer must not append to, or create, a file that someone else chose.
// A new file is only ever made with O_EXCL. The size comes from the open
// descriptor; O_NONBLOCK keeps a FIFO at the log's place from blocking.
int OpenForLine(const std::string& path, int64_t max_size, bool* fresh) {
  *fresh = false;
  int fd = OpenRetrying(path, O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK);
  bool restart = false;
  if (fd < 0) {
    if (errno == ELOOP) {
      // A link: the line is lost, unless what it points to has reached the
      // limit, when the link itself gives way to a fresh file.
      const int64_t target = GetFileSize(path);
      if (target < 1 || target < max_size) return -1;
      restart = true;
    } else if (errno != ENOENT) {
      return -1;
    }
  } else {
    struct stat st;
    // Only a regular file is a log.
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd);
      return -1;
    }
    const int64_t size = static_cast<int64_t>(st.st_size);
    // An existing empty file is started afresh as it is.
    if (size == 0) *fresh = true;
    if (size < 1 || size < max_size) return fd;
    close(fd);
    restart = true;
  }
  if (restart && unlink(path.c_str()) != 0 && errno != ENOENT) return -1;
  fd = OpenRetrying(path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW);
  *fresh = true;
  return fd;
}

}  // namespace

bool AppendLogLineAt(const std::string& path, const std::string& header,
                     const std::string& separator, const std::string& message, int64_t max_size,
                     bool use_separator, time_t when) {
  std::string line = FormatLine(separator, message, use_separator, when);
  bool fresh = false;
  const int fd = OpenForLine(path, max_size, &fresh);
  if (fd < 0) return false;
  if (fresh && !header.empty()) line = header + "\n" + line;
  bool ok = WriteAll(fd, line) == 0;
  if (close(fd) != 0) ok = false;
  return ok;
}

bool AppendLogLineLocked(const std::string& path, const std::string& header,
                         const std::string& separator, const std::string& message, int64_t max_size,
                         bool use_separator, std::mutex* lock) {
  std::string line = FormatLine(separator, message, use_separator, time(nullptr));
  const int early = OpenRetrying(path, O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK);
  bool ok = false;
  bool through_early = false;
  {
    std::lock_guard<std::mutex> hold(*lock);
    // The early descriptor serves only if it is still the regular file at
    // the path, neither empty nor full; anything else takes the full way.
    struct stat held;
    struct stat at;
    if (early >= 0 && fstat(early, &held) == 0 && S_ISREG(held.st_mode) && held.st_size >= 1 &&
        held.st_size < max_size && lstat(path.c_str(), &at) == 0 && S_ISREG(at.st_mode) &&
        at.st_dev == held.st_dev && at.st_ino == held.st_ino) {
      ok = WriteAll(early, line) == 0;
      through_early = true;
    } else {
      bool fresh = false;
      const int fd = OpenForLine(path, max_size, &fresh);
      if (fd >= 0) {
        if (fresh && !header.empty()) line = header + "\n" + line;
        ok = WriteAll(fd, line) == 0;
        if (close(fd) != 0) ok = false;
      }
    }
  }
  // Its close fails the line only if the line went through it.
  if (early >= 0 && close(early) != 0 && through_early) ok = false;
  return ok;
}
