// The suite's date and time formats and the size-capped log writer. A
// log that reaches its size limit is restarted from empty with its header,
// not rotated. Each line goes out in one write(2) on an O_APPEND descriptor,
// so that lines of concurrent writers never interleave inside a line.
#include "common/log.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

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

bool AppendLogLineAt(const std::string& path, const std::string& header,
                     const std::string& separator, const std::string& message, int64_t max_size,
                     bool use_separator, time_t when) {
  std::string date = DateText(when);
  std::string time = TimeText(when);
  std::string line = use_separator ? date + separator + time + separator + message
                                   : date + " " + time + "  " + message;
  line += '\n';

  // A link at the log's place is never followed, not even a dangling one: a
  // root writer must not append to, or create, a file that someone else
  // chose. A new file is only ever made with O_EXCL. The size comes from the
  // open descriptor, so that a line costs one open of the file; O_NONBLOCK
  // keeps a FIFO at the log's place from blocking the open.
  const std::string headed = header.empty() ? line : header + "\n" + line;
  int fd = OpenRetrying(path, O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK);
  bool restart = false;
  if (fd < 0) {
    if (errno == ELOOP) {
      // A link: the line is lost, unless what it points to has reached the
      // limit, when the link itself gives way to a fresh file.
      const int64_t target = GetFileSize(path);
      if (target < 1 || target < max_size) return false;
      restart = true;
    } else if (errno != ENOENT) {
      return false;
    }
  } else {
    struct stat st;
    // Only a regular file is a log.
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd);
      return false;
    }
    const int64_t size = static_cast<int64_t>(st.st_size);
    // An existing empty file is started afresh as it is.
    if (size == 0) line = headed;
    if (size >= 1 && size >= max_size) {
      close(fd);
      fd = -1;
      restart = true;
    }
  }
  if (fd < 0) {
    if (restart && unlink(path.c_str()) != 0 && errno != ENOENT) return false;
    fd = OpenRetrying(path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW);
    line = headed;
  }
  if (fd < 0) return false;
  bool ok = WriteAll(fd, line);
  if (close(fd) != 0) ok = false;
  return ok;
}

bool AppendLogLine(const std::string& path, const std::string& header, const std::string& separator,
                   const std::string& message, int64_t max_size, bool use_separator) {
  return AppendLogLineAt(path, header, separator, message, max_size, use_separator, time(nullptr));
}
