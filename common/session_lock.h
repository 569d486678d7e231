// The advisory lock a configuration console holds on the settings file it
// edits for its whole session, so that a second console on the same file is
// refused instead of silently undoing the first one's save.
#ifndef VOLTMON_COMMON_SESSION_LOCK_H_
#define VOLTMON_COMMON_SESSION_LOCK_H_

#include <sys/types.h>

#include <string>

enum class TLockResult {
  kHeld,      // this session holds the lock
  kBusy,      // another session holds it
  kUnlocked,  // no lock to be had (an unreadable directory, a file system
              // without locks); the session goes on without one
};

class TSessionLock {
 public:
  TSessionLock() = default;
  ~TSessionLock();
  TSessionLock(const TSessionLock&) = delete;
  TSessionLock& operator=(const TSessionLock&) = delete;

  // Locks the settings file `path` without waiting. The lock is taken on the
  // directory that holds the file, under the file's name, so it outlasts the
  // save's rename and creates nothing; other names in the same directory
  // are not affected. It lasts until Release or the end of the process.
  TLockResult Acquire(const std::string& path);
  void Release();

 private:
  int fd_ = -1;
};

// The byte of the directory that stands for the file `name`: the FNV-1a
// hash of the name, within the positive offsets.
off_t LockByteOf(const std::string& name);

#endif  // VOLTMON_COMMON_SESSION_LOCK_H_
