// The session lock. A directory can be opened for reading only, and only a
// read lock can be placed through such a descriptor; so each session places
// an open-file-description read lock on the one byte that stands for its
// file's name, and first asks the kernel whether another description holds
// that byte: its own never conflicts. The question and the lock are made
// while a brief exclusive flock on the directory (a lock of another kind,
// independent of byte locks) keeps two starting sessions from both seeing
// the byte free. Byte locks end when the descriptor is closed, so a session
// that ends in any way, even by SIGKILL, leaves no stale lock.
#include "common/session_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>

namespace {

// How long a starting session waits for another one's brief flock.
constexpr int kSerializeTries = 100;
constexpr long kSerializePauseNs = 10 * 1000 * 1000;

struct flock ByteLock(short type, off_t byte) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  return lock;
}

// The brief exclusive flock; false when it could not be had in time (some
// process holds the directory's flock for long), in which case the session
// goes on without it: the window it closes is a few system calls wide.
bool Serialize(int fd) {
  for (int i = 0; i < kSerializeTries; ++i) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    struct timespec pause = {0, kSerializePauseNs};
    nanosleep(&pause, nullptr);
  }
  return false;
}

int FcntlRetrying(int fd, int command, struct flock* lock) {
  int result;
  do {
    result = fcntl(fd, command, lock);
  } while (result != 0 && errno == EINTR);
  return result;
}

}  // namespace

off_t LockByteOf(const std::string& name) {
  uint64_t hash = 14695981039346656037ULL;
  for (char c : name) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  return static_cast<off_t>(hash % static_cast<uint64_t>(std::numeric_limits<off_t>::max()));
}

TSessionLock::~TSessionLock() {
  Release();
}

void TSessionLock::Release() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

TLockResult TSessionLock::Acquire(const std::string& path) {
  Release();
  const size_t slash = path.rfind('/');
  const std::string directory =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const off_t byte = LockByteOf(slash == std::string::npos ? path : path.substr(slash + 1));
  int fd;
  do {
    fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  // No directory to read: nothing can be loaded or saved there either, and
  // the load reports that.
  if (fd < 0) return TLockResult::kUnlocked;

  const bool serialized = Serialize(fd);
  TLockResult result = TLockResult::kUnlocked;
  struct flock probe = ByteLock(F_WRLCK, byte);
  if (FcntlRetrying(fd, F_OFD_GETLK, &probe) == 0) {
    if (probe.l_type != F_UNLCK) {
      result = TLockResult::kBusy;
    } else {
      struct flock hold = ByteLock(F_RDLCK, byte);
      // A failure here (ENOLCK, a file system without byte locks) leaves
      // the session unlocked.
      if (FcntlRetrying(fd, F_OFD_SETLK, &hold) == 0) result = TLockResult::kHeld;
    }
  }
  // Cannot fail for a flock this description holds; it ends with the
  // descriptor at the latest.
  if (serialized) (void)flock(fd, LOCK_UN);
  if (result == TLockResult::kHeld) {
    fd_ = fd;
  } else {
    close(fd);
  }
  return result;
}
