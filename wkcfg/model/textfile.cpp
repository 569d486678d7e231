// Whole-file replacement for the events files the user saves: a failure
// halfway (full disk, lost power) must never leave the user's earlier file
// truncated.
#include "wkcfg/model/textfile.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/files.h"
#include "common/text.h"

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
