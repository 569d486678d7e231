// The suite's date and time formats and the size-capped log writer. A
// log that reaches its size limit is restarted from empty with its header,
// not rotated. Each line goes out in one write(2) on an O_APPEND descriptor,
// so that lines of concurrent writers never interleave inside a line. Writers
// that share a TSharedLog combine: one writes the lines queued by all.
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
// `*fresh` tells that the file is new or empty, and so gets the header first;
// `*size` is its size.
//
// A link at the log's place is never followed, not even a dangling one: a
// root writer must not append to, or create, a file that someone else chose.
// A new file is only ever made with O_EXCL. The size comes from the open
// descriptor; O_NONBLOCK keeps a FIFO at the log's place from blocking.
int OpenForLine(const std::string& path, int64_t max_size, bool* fresh, int64_t* size) {
  *fresh = false;
  *size = 0;
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
    *size = static_cast<int64_t>(st.st_size);
    // An existing empty file is started afresh as it is.
    if (*size == 0) *fresh = true;
    if (*size < 1 || *size < max_size) return fd;
    close(fd);
    restart = true;
  }
  if (restart && unlink(path.c_str()) != 0 && errno != ENOENT) return -1;
  fd = OpenRetrying(path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW);
  *fresh = true;
  *size = 0;
  return fd;
}

}  // namespace

bool AppendLogLineAt(const std::string& path, const std::string& header,
                     const std::string& separator, const std::string& message, int64_t max_size,
                     bool use_separator, time_t when) {
  std::string line = FormatLine(separator, message, use_separator, when);
  bool fresh = false;
  int64_t size = 0;
  const int fd = OpenForLine(path, max_size, &fresh, &size);
  if (fd < 0) return false;
  if (fresh && !header.empty()) line = header + "\n" + line;
  bool ok = WriteAll(fd, line) == 0;
  if (close(fd) != 0) ok = false;
  return ok;
}

void TSharedLog::WriteLines(const std::vector<TLine>& lines) {
  const auto same_file = [](const TLine& a, const TLine& b) {
    return a.path == b.path && a.header == b.header && a.max_size == b.max_size;
  };
  size_t next = 0;
  while (next < lines.size()) {
    const TLine& first = lines[next];
    bool fresh = false;
    int64_t size = 0;
    const int fd = OpenForLine(first.path, first.max_size, &fresh, &size);
    if (fd < 0) {
      ++next;  // lost; the next line tries again
      continue;
    }
    std::string out = fresh && !first.header.empty() ? first.header + "\n" : "";
    size_t end = next;
    // Each further line only while the file before it is below the limit,
    // as a line of its own would find it.
    do {
      out += lines[end].text;
      ++end;
    } while (end < lines.size() && same_file(lines[end], first) &&
             size + static_cast<int64_t>(out.size()) < first.max_size);
    bool ok = WriteAll(fd, out) == 0;
    if (close(fd) != 0) ok = false;
    for (size_t k = next; k < end; ++k) *lines[k].written = ok;
    next = end;
  }
}

bool TSharedLog::Append(const std::string& path, const std::string& header,
                        const std::string& separator, const std::string& message, int64_t max_size,
                        bool use_separator) {
  bool written = false;
  TLine line{path, header, max_size, FormatLine(separator, message, use_separator, time(nullptr)),
             &written};
  std::unique_lock<std::mutex> lock(mutex_);
  pending_.push_back(std::move(line));
  const uint64_t ticket = ++queued_;
  while (done_ < ticket) {
    if (busy_) {
      done_changed_.wait(lock);
      continue;
    }
    // No one at work: this writer writes everything queued, its own line
    // among it, and hands over to the next waiter.
    busy_ = true;
    std::vector<TLine> batch;
    batch.swap(pending_);
    lock.unlock();
    try {
      WriteLines(batch);
    } catch (const std::bad_alloc&) {
      // Out of memory: the lines not yet written are lost, the log goes on.
    }
    lock.lock();
    done_ += batch.size();
    busy_ = false;
    done_changed_.notify_all();
  }
  return written;
}
