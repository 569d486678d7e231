// Shadowing a directory: the host's directory is first bound to a place of
// the test's own (recursively, with what is mounted below it), then covered
// by the tmpfs, and its entries are bound from there into the tmpfs.

#include "tests/support/shadow_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tests/support/temp_dir.h"

namespace {

std::string Failure(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// Makes TO stand for FROM: a directory or file bound, a symbolic link copied.
bool BindBack(const std::string& from, const std::string& to, std::string* error) {
  struct stat info;
  if (lstat(from.c_str(), &info) != 0) {
    *error = Failure("lstat " + from);
    return false;
  }
  if (S_ISLNK(info.st_mode)) {
    char target[4096];
    ssize_t n = readlink(from.c_str(), target, sizeof target - 1);
    if (n < 0) {
      *error = Failure("readlink " + from);
      return false;
    }
    target[n] = '\0';
    if (symlink(target, to.c_str()) != 0) {
      *error = Failure("symlink " + to);
      return false;
    }
    return true;
  }
  if (S_ISDIR(info.st_mode)) {
    if (mkdir(to.c_str(), info.st_mode & 07777) != 0) {
      *error = Failure("mkdir " + to);
      return false;
    }
  } else {
    int fd = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      *error = Failure("create " + to);
      return false;
    }
    close(fd);
  }
  if (mount(from.c_str(), to.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) {
    *error = Failure("bind " + from);
    return false;
  }
  return true;
}

}  // namespace

TShadowDir::~TShadowDir() {
  Stop();
}

bool TShadowDir::Start(std::string* error, const std::string& leave_out) {
  if (!MakeDirs(keep_)) {
    *error = "cannot create " + keep_;
    return false;
  }
  if (mount(target_.c_str(), keep_.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) {
    *error = Failure("bind " + target_);
    return false;
  }
  kept_ = true;
  if (mount("tmpfs", target_.c_str(), "tmpfs", MS_NOSUID, "mode=755") != 0) {
    *error = Failure("tmpfs on " + target_);
    return false;
  }
  mounted_ = true;
  DIR* dir = opendir(keep_.c_str());
  if (dir == nullptr) {
    *error = Failure("opendir " + keep_);
    return false;
  }
  bool ok = true;
  while (struct dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == ".." || name == leave_out) continue;
    if (!BindBack(keep_ + "/" + name, target_ + "/" + name, error)) {
      ok = false;
      break;
    }
  }
  closedir(dir);
  return ok;
}

void TShadowDir::Stop() {
  if (mounted_) umount2(target_.c_str(), MNT_DETACH);
  if (kept_) umount2(keep_.c_str(), MNT_DETACH);
  mounted_ = kept_ = false;
}
