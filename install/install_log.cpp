// The installation log lists what an installation created, one entry per
// line, each scrambled on its own so the file is not readable at a glance.
#include "install/install_log.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include "common/scramble.h"

bool WriteInstallLog(const std::string& path, const std::string& entry, bool restart) {
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (restart ? O_TRUNC : O_APPEND);
  int fd;
  do {
    fd = open(path.c_str(), flags, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  const std::string line = Scramble(entry) + "\n";
  size_t written = 0;
  bool ok = true;
  while (written < line.size()) {
    const ssize_t n = write(fd, line.data() + written, line.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    written += static_cast<size_t>(n);
  }
  if (close(fd) != 0 && errno != EINTR) ok = false;
  return ok;
}
