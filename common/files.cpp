// Whole-file reads and writes, existence and size, on plain POSIX calls. A
// file is replaced by rename, so a failure halfway (full disk, lost power)
// never leaves a reader, or the user's earlier file, with half of it.
#include "common/files.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Reads from `fd` into `buffer` from `*filled` on, at most to its end,
// advancing `*filled`. 0 at the end of the file or when the buffer is full,
// otherwise the errno of the failing read.
int ReadInto(int fd, std::string* buffer, size_t* filled, bool* at_end) {
  while (*filled < buffer->size()) {
    ssize_t n = read(fd, &(*buffer)[*filled], buffer->size() - *filled);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) {
      *at_end = true;
      return 0;
    }
    *filled += static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace

int ReadWholeFile(const std::string& path, std::string* contents) {
  contents->clear();
  int fd;
  do {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  // The kernel copies straight into the text, sized for the whole file and
  // one byte more to see the end at once; a file that grows, or whose size
  // is unknown, doubles the room as it comes.
  constexpr size_t kFirstRoom = 8192;
  struct stat info;
  size_t room = kFirstRoom;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    room = static_cast<size_t>(info.st_size) + 1;
  }
  size_t filled = 0;
  bool at_end = false;
  int error = 0;
  for (;;) {
    contents->resize(room);
    error = ReadInto(fd, contents, &filled, &at_end);
    if (error != 0 || at_end) break;
    room *= 2;
  }
  contents->resize(filled);
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

namespace {

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a path names, through a symbolic link; errno on failure.
int ResolveTarget(const std::string& path, std::string* target) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
    *target = path;
    return 0;
  }
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return errno;
  *target = resolved;
  return 0;
}

// Owner and mode of the old file, then the data, synced; errno on failure.
int FillTemporary(int fd, bool existed, const struct stat& old, const std::string& data) {
  if (existed) {
    struct stat mine;
    if (fstat(fd, &mine) != 0) return errno;
    if ((mine.st_uid != old.st_uid || mine.st_gid != old.st_gid) &&
        fchown(fd, old.st_uid, old.st_gid) != 0) {
      return errno;
    }
    // After fchown, which clears set-id bits.
    if (fchmod(fd, old.st_mode & 07777) != 0) return errno;
  } else if (fchmod(fd, 0644) != 0) {
    return errno;
  }
  if (!WriteAll(fd, data)) return errno;
  if (fsync(fd) != 0) return errno;
  return 0;
}

}  // namespace

int ReplaceFile(const std::string& path, const std::string& data) {
  std::string target;
  int error = ResolveTarget(path, &target);
  if (error != 0) return error;

  struct stat old;
  bool existed = stat(target.c_str(), &old) == 0;
  if (!existed && errno != ENOENT) return errno;
  if (existed && S_ISDIR(old.st_mode)) return EISDIR;
  if (existed && !S_ISREG(old.st_mode)) return EINVAL;

  std::string dir = DirectoryOf(target);
  std::string tmp = dir + "/." + BaseNameOf(target) + ".XXXXXX";
  int fd;
  do {
    fd = mkostemp(&tmp[0], O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;

  error = FillTemporary(fd, existed, old, data);
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && rename(tmp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    unlink(tmp.c_str());
    return error;
  }
  // The data is on disk already; syncing the directory only hurries the
  // rename, so its failure does not undo the save.
  int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  return 0;
}
