// The silent name server. The socket is bound and never read: the kernel
// queues the first queries and drops the rest, and the resolver, which
// gets neither an answer nor a refusal, waits out each of its tries.
#include "tests/support/silent_names.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tests/support/temp_dir.h"

namespace {

const char* const kTargets[] = {"/etc/resolv.conf", "/etc/hosts"};
const char kAddress[] = "127.0.0.53";

}  // namespace

TSilentNameServer::TSilentNameServer(const std::string& dir, const std::string& hosts) {
  socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons(53);
  inet_pton(AF_INET, kAddress, &address.sin_addr);
  if (socket_ < 0 || bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    error_ = std::string("silent name server on ") + kAddress + ": " + std::strerror(errno);
    return;
  }
  const std::string sources[] = {dir + "/resolv.conf", dir + "/hosts"};
  if (!WriteFile(sources[0], std::string("nameserver ") + kAddress + "\n") ||
      !WriteFile(sources[1], hosts)) {
    error_ = "cannot write the resolver's files in " + dir;
    return;
  }
  for (int i = 0; i < 2; ++i) {
    if (mount(sources[i].c_str(), kTargets[i], nullptr, MS_BIND, nullptr) != 0) {
      error_ = std::string("bind mount over ") + kTargets[i] + ": " + std::strerror(errno);
      return;
    }
    mounted_ = i + 1;
  }
}

TSilentNameServer::~TSilentNameServer() {
  // Cases may follow each other in one namespace.
  for (int i = mounted_ - 1; i >= 0; --i) umount2(kTargets[i], MNT_DETACH);
  if (socket_ >= 0) close(socket_);
}
