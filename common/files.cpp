// Whole-file reads and writes, existence and size, on plain POSIX calls.
// Every file the suite reads comes through OpenRegularFile: opened without
// blocking, so that a named pipe or a device can never hold a program, and
// refused unless it is a regular file within a bound, so that /dev/zero or a
// runaway file cannot eat the memory. A file is replaced by rename, so a
// failure halfway (full disk, lost power) never leaves a reader, or the
// user's earlier file, with half of it.
#include "common/files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <limits>

namespace {

volatile sig_atomic_t g_end_signal = 0;

// True when the call that failed with `error` is to be made again.
bool Retry(int error) {
  return error == EINTR && g_end_signal == 0;
}

// Reads from `fd` into `buffer` from `*filled` on, at most to its end,
// advancing `*filled`. 0 at the end of the file or when the buffer is full,
// otherwise the errno of the failing read.
int ReadInto(int fd, std::string* buffer, size_t* filled, bool* at_end) {
  while (*filled < buffer->size()) {
    ssize_t n = read(fd, &(*buffer)[*filled], buffer->size() - *filled);
    if (n < 0) {
      if (Retry(errno)) continue;
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

std::string FileErrorText(int error) {
  switch (error) {
    case kErrorNotRegularFile:
      return "Not a regular file (a pipe, a device or a socket)";
    case kErrorFileTooLarge:
      return "File too large (a settings, events or language file holds at most 16 MiB)";
    case kErrorSymbolicLink:
      return "A symbolic link, which is not followed";
    case kErrorDanglingLink:
      return "A symbolic link to a file that does not exist";
    default:
      break;
  }
  char buffer[256];
  // The GNU flavour returns the text, which need not be in the buffer.
  const char* text = strerror_r(error, buffer, sizeof buffer);
  return text != nullptr ? text : "error " + std::to_string(error);
}

void NoteEndSignal() {
  g_end_signal = 1;
}

int OpenRegularFile(const std::string& path, int64_t limit) {
  int fd;
  do {
    fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && Retry(errno));
  if (fd < 0) return -1;
  struct stat info;
  int error = 0;
  if (fstat(fd, &info) != 0) {
    error = errno;
  } else if (S_ISDIR(info.st_mode)) {
    error = EISDIR;
  } else if (!S_ISREG(info.st_mode)) {
    error = kErrorNotRegularFile;
  } else if (info.st_size > limit) {
    error = kErrorFileTooLarge;
  } else {
    // Reads wait for the disk as usual from here on.
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) error = errno;
  }
  if (error != 0) {
    // A read-only descriptor has nothing to lose on close.
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

int ReadWholeFile(const std::string& path, std::string* contents, int64_t limit) {
  contents->clear();
  const int fd = OpenRegularFile(path, limit);
  if (fd < 0) return errno;
  // The kernel copies straight into the text, sized for the whole file and
  // one byte more to see the end at once; a file that grows, or whose size
  // is unknown (those of /proc), doubles the room as it comes, up to one
  // byte past the bound.
  constexpr size_t kFirstRoom = 8192;
  const size_t most =
      static_cast<size_t>(std::min<int64_t>(limit, std::numeric_limits<ssize_t>::max() - 1)) + 1;
  struct stat info;
  size_t room = kFirstRoom;
  if (fstat(fd, &info) == 0 && info.st_size > 0) room = static_cast<size_t>(info.st_size) + 1;
  size_t filled = 0;
  bool at_end = false;
  int error = 0;
  for (;;) {
    if (room > most) room = most;
    contents->resize(room);
    error = ReadInto(fd, contents, &filled, &at_end);
    if (error != 0 || at_end) break;
    if (filled >= most) {
      error = kErrorFileTooLarge;
      break;
    }
    room *= 2;
  }
  contents->resize(error == kErrorFileTooLarge ? 0 : filled);
  close(fd);
  return error;
}

int WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (Retry(errno)) continue;
      return errno;
    }
    done += static_cast<size_t>(n);
  }
  return 0;
}

bool PathExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

int OpenRetrying(const std::string& path, int flags) {
  int fd;
  do {
    fd = open(path.c_str(), flags | O_CLOEXEC, 0644);
  } while (fd < 0 && Retry(errno));
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

// A temporary file this old, that no save holds locked, was left by a save
// that was killed; younger ones may belong to a save still starting.
constexpr time_t kStaleTemporarySeconds = 10;
constexpr char kTemporaryTail[] = ".XXXXXX";

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

// True for "." + base + "." and the six letters or digits mkostemp puts there.
bool IsTemporaryName(const std::string& name, const std::string& base) {
  const std::string head = "." + base + ".";
  const size_t tail = sizeof kTemporaryTail - 2;
  if (name.size() != head.size() + tail || name.compare(0, head.size(), head) != 0) return false;
  for (size_t i = head.size(); i < name.size(); ++i) {
    const char c = name[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// Removes `dir`/`name` when it is a regular file that no save holds locked
// and that has not changed for a while. Failures leave it: it is only litter.
void RemoveIfStale(const std::string& dir, const std::string& name, time_t now) {
  const std::string path = dir + "/" + name;
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  struct stat held;
  struct stat named;
  if (fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
      now - held.st_mtime >= kStaleTemporarySeconds && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
      lstat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
      named.st_ino == held.st_ino) {
    unlink(path.c_str());
  }
  close(fd);
}

void RemoveStaleTemporaries(const std::string& dir, const std::string& base) {
  DIR* listing = opendir(dir.c_str());
  if (listing == nullptr) return;
  const time_t now = time(nullptr);
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (IsTemporaryName(name, base)) RemoveIfStale(dir, name, now);
  }
  closedir(listing);
}

// The file a path names, through a symbolic link when `link` allows it;
// the error number on failure.
int ResolveTarget(const std::string& path, TLinkAtName link, std::string* target) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
    *target = path;
    return 0;
  }
  if (link == TLinkAtName::kRefuse) return kErrorSymbolicLink;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) {
    return errno == ENOENT && stat(path.c_str(), &st) != 0 ? kErrorDanglingLink : errno;
  }
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
  if (const int error = WriteAll(fd, data); error != 0) return error;
  if (fsync(fd) != 0) return errno;
  return 0;
}

// Writes `data` over the regular file `target` itself: for a file that
// cannot be renamed over; errno on failure.
int WriteInPlace(const std::string& target, const std::string& data) {
  const int fd = OpenRetrying(target, O_WRONLY | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return errno;
  int error = 0;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    error = errno;
  } else if (!S_ISREG(st.st_mode)) {
    error = kErrorNotRegularFile;
  } else {
    error = WriteAll(fd, data);
    if (error == 0 && (ftruncate(fd, static_cast<off_t>(data.size())) != 0 || fsync(fd) != 0)) {
      error = errno;
    }
  }
  if (close(fd) != 0 && error == 0) error = errno;
  return error;
}

}  // namespace

int ReplaceFile(const std::string& path, const std::string& data, TLinkAtName link,
                bool* in_place) {
  if (in_place != nullptr) *in_place = false;
  bool wrote_in_place = false;
  std::string target;
  int error = ResolveTarget(path, link, &target);
  if (error != 0) return error;

  struct stat old;
  bool existed = lstat(target.c_str(), &old) == 0;
  if (!existed && errno != ENOENT) return errno;
  if (existed && S_ISDIR(old.st_mode)) return EISDIR;
  // A link that came since ResolveTarget is still not followed: the rename
  // replaces the link itself.
  if (existed && S_ISLNK(old.st_mode) && link == TLinkAtName::kRefuse) return kErrorSymbolicLink;
  if (existed && !S_ISREG(old.st_mode)) return kErrorNotRegularFile;

  std::string dir = DirectoryOf(target);
  const std::string base = BaseNameOf(target);
  RemoveStaleTemporaries(dir, base);
  std::string tmp = dir + "/." + base + kTemporaryTail;
  int fd;
  do {
    fd = mkostemp(&tmp[0], O_CLOEXEC);
  } while (fd < 0 && Retry(errno));
  if (fd < 0) return errno;
  // Held while the file is written, so that a save beside this one never
  // takes it for a killed save's litter; a lock that cannot be had changes
  // nothing else.
  flock(fd, LOCK_EX | LOCK_NB);

  error = FillTemporary(fd, existed, old, data);
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && rename(tmp.c_str(), target.c_str()) != 0) {
    error = errno;
    if (error == EBUSY) {
      error = WriteInPlace(target, data);
      wrote_in_place = error == 0;
    }
  }
  if (error != 0 || wrote_in_place) unlink(tmp.c_str());
  if (error != 0) return error;
  if (in_place != nullptr) *in_place = wrote_in_place;
  // The data is on disk already; syncing the directory only hurries the
  // rename, so its failure does not undo the save.
  int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  return 0;
}
