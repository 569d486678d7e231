// Whole-file reads and writes, existence and size, on plain POSIX calls.
#include "common/files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int ReadWholeFile(const std::string& path, std::string* contents) {
  contents->clear();
  int fd;
  do {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  // Room for the whole file at once: growing the text as it comes copied a
  // big file over and over.
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    contents->reserve(static_cast<size_t>(info.st_size));
  }
  int error = 0;
  char buffer[8192];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    if (n == 0) break;
    contents->append(buffer, static_cast<size_t>(n));
  }
  // A read-only descriptor has nothing left to lose on close; its error
  // cannot change what was read.
  close(fd);
  return error;
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool PathExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

int OpenRetrying(const std::string& path, int flags) {
  int fd;
  do {
    fd = open(path.c_str(), flags | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

int64_t GetFileSize(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return (errno == ENOENT || errno == ENOTDIR) ? 0 : -1;
  // Only a regular file is a log; opening a FIFO or device could block or
  // have side effects.
  if (!S_ISREG(st.st_mode)) return -1;
  int fd = OpenRetrying(path, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return -1;
  int64_t size = -1;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) size = static_cast<int64_t>(st.st_size);
  close(fd);
  return size;
}
