// The owner of a connection's other end on this computer. Masters on the
// same computer run as root; any user can connect from the loopback, so the
// address alone does not make such a caller a master. The kernel's socket
// tables name each socket's uid: the peer's socket is the line whose local
// end is the caller's end and whose remote end is ours. A table is read line
// by line and the search stops at the match, as the tables can be long.
// Before the tables, the kernel is asked for the one socket through its
// socket diagnostics: the tables list every socket of the computer, also the
// thousands in TIME_WAIT after a busy minute, and printing them costs far
// more than the order itself. The tables stay as the fallback for a kernel
// without that service.
#include "qslx/socket_owner.h"

#include <arpa/inet.h>
#include <errno.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <sstream>
#include <vector>

namespace {

bool ParseHex32(const std::string& text, uint32_t* value) {
  if (text.size() != 8) return false;
  uint32_t v = 0;
  for (char c : text) {
    int digit = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                       : -1;
    if (digit < 0) return false;
    v = (v << 4) | static_cast<uint32_t>(digit);
  }
  *value = v;
  return true;
}

// "0100007F:1770" (tcp) or "0000000000000000FFFF00000100007F:1770" (tcp6,
// IPv4-mapped). The kernel prints each 32-bit word of the address as a host
// integer, so the word read back has the bytes of the address in memory.
bool ParseEnd(const std::string& text, TQsTcpEnd* end) {
  const std::string::size_type colon = text.find(':');
  if (colon == std::string::npos) return false;
  const std::string address = text.substr(0, colon);
  const std::string port = text.substr(colon + 1);
  uint32_t port_value = 0;
  if (port.size() != 4 || !ParseHex32("0000" + port, &port_value)) return false;
  uint32_t word = 0;
  if (address.size() == 8) {
    if (!ParseHex32(address, &word)) return false;
  } else if (address.size() == 32) {
    uint32_t words[4];
    for (int i = 0; i < 4; ++i) {
      if (!ParseHex32(address.substr(static_cast<size_t>(i) * 8, 8), &words[i])) return false;
    }
    if (words[0] != 0 || words[1] != 0 || words[2] != htonl(0xFFFF)) return false;
    word = words[3];
  } else {
    return false;
  }
  end->address = word;
  end->port = static_cast<uint16_t>(port_value);
  return true;
}

bool SameEnd(const TQsTcpEnd& a, const TQsTcpEnd& b) {
  return a.address == b.address && a.port == b.port;
}

int OwnerInTable(const std::string& path, const TQsTcpEnd& local, const TQsTcpEnd& remote,
                 int64_t* uid) {
  FILE* table = fopen(path.c_str(), "re");
  if (table == nullptr) return errno;
  int error = ENOENT;
  char* line = nullptr;
  size_t capacity = 0;
  while (getline(&line, &capacity, table) >= 0) {
    TQsSocketEntry entry;
    if (!ParseSocketLine(line, &entry)) continue;
    if (!SameEnd(entry.local, local) || !SameEnd(entry.remote, remote)) continue;
    if (entry.inode != 0) {
      *uid = entry.uid;
      error = 0;
      break;
    }
  }
  free(line);
  fclose(table);
  return error;
}

bool EndOf(int fd, bool peer, TQsTcpEnd* end) {
  sockaddr_in address;
  socklen_t length = sizeof address;
  std::memset(&address, 0, sizeof address);
  sockaddr* a = reinterpret_cast<sockaddr*>(&address);
  int rc = peer ? getpeername(fd, a, &length) : getsockname(fd, a, &length);
  if (rc != 0 || address.sin_family != AF_INET) return false;
  end->address = address.sin_addr.s_addr;
  end->port = ntohs(address.sin_port);
  return true;
}

struct TDiagRequest {
  nlmsghdr header;
  inet_diag_req_v2 body;
};

// The owner of the socket `local`-`remote` of `family` as the kernel reports
// it, as SocketOwnerByDiag tells it.
int AskDiag(int netlink, uint32_t number, uint8_t family, const TQsTcpEnd& local,
            const TQsTcpEnd& remote, int64_t* uid) {
  TDiagRequest request;
  std::memset(&request, 0, sizeof request);
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  request.header.nlmsg_flags = NLM_F_REQUEST;
  request.header.nlmsg_seq = number;
  request.body.sdiag_family = family;
  request.body.sdiag_protocol = IPPROTO_TCP;
  request.body.idiag_states = ~0U;
  request.body.id.idiag_sport = htons(local.port);
  request.body.id.idiag_dport = htons(remote.port);
  request.body.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
  request.body.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
  if (family == AF_INET) {
    request.body.id.idiag_src[0] = local.address;
    request.body.id.idiag_dst[0] = remote.address;
  } else {
    request.body.id.idiag_src[2] = request.body.id.idiag_dst[2] = htonl(0xFFFF);
    request.body.id.idiag_src[3] = local.address;
    request.body.id.idiag_dst[3] = remote.address;
  }
  sockaddr_nl kernel;
  std::memset(&kernel, 0, sizeof kernel);
  kernel.nl_family = AF_NETLINK;
  ssize_t sent;
  do {
    sent = sendto(netlink, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel),
                  sizeof kernel);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0) return errno;
  if (sent != static_cast<ssize_t>(sizeof request)) return EPROTO;
  // The kernel answers a single lookup before sendto returns: nothing to wait for.
  alignas(nlmsghdr) char reply[1024];
  ssize_t got;
  do {
    got = recv(netlink, reply, sizeof reply, MSG_DONTWAIT);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return errno;
  if (got < static_cast<ssize_t>(sizeof(nlmsghdr))) return EPROTO;
  const auto* header = reinterpret_cast<const nlmsghdr*>(reply);
  if (!NLMSG_OK(header, static_cast<unsigned>(got)) || header->nlmsg_seq != number) return EPROTO;
  if (header->nlmsg_type == NLMSG_ERROR) {
    if (header->nlmsg_len < NLMSG_LENGTH(sizeof(nlmsgerr))) return EPROTO;
    // The kernel's own error number, negated; 0 would be an acknowledgement.
    const int error = -static_cast<const nlmsgerr*>(NLMSG_DATA(header))->error;
    return error > 0 ? error : EPROTO;
  }
  if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY ||
      header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) {
    return EPROTO;
  }
  const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
  // Only the very connection counts, held by a process; a listener that the
  // lookup may fall back to when the caller's socket is gone is none.
  const int address_word = family == AF_INET ? 0 : 3;
  if (found->idiag_state == TCP_LISTEN || found->id.idiag_sport != htons(local.port) ||
      found->id.idiag_dport != htons(remote.port) ||
      found->id.idiag_src[address_word] != local.address ||
      found->id.idiag_dst[address_word] != remote.address || found->idiag_inode == 0) {
    return ENOENT;
  }
  *uid = found->idiag_uid;
  return 0;
}

int OpenDiagSocket() {
  return socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
}

int AskBothFamilies(int netlink, uint32_t* number, const TQsTcpEnd& local, const TQsTcpEnd& remote,
                    int64_t* uid) {
  int error = AskDiag(netlink, ++*number, AF_INET, local, remote, uid);
  if (error == ENOENT) error = AskDiag(netlink, ++*number, AF_INET6, local, remote, uid);
  return error;
}

// One socket kept open for the questions, as opening one for each caller
// cost every order two more system calls. Questions on it go one at a time
// and are numbered; a socket that failed or answered out of turn is closed,
// and the next question opens another. A caller that finds it busy asks on
// a socket of its own rather than wait: under many callers at once, waiting
// for it queued them behind each other.
class TDiagSocket {
 public:
  int Owner(const TQsTcpEnd& local, const TQsTcpEnd& remote, int64_t* uid) {
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) {
      const int own = OpenDiagSocket();
      if (own < 0) return errno;
      uint32_t number = 0;
      const int error = AskBothFamilies(own, &number, local, remote, uid);
      close(own);
      return error;
    }
    if (fd_ < 0) fd_ = OpenDiagSocket();
    if (fd_ < 0) return errno;
    const int error = AskBothFamilies(fd_, &number_, local, remote, uid);
    if (error != 0 && error != ENOENT) {
      close(fd_);
      fd_ = -1;
    }
    return error;
  }

 private:
  std::mutex mutex_;
  int fd_ = -1;
  uint32_t number_ = 0;
};

}  // namespace

int SocketOwnerByDiag(const TQsTcpEnd& local, const TQsTcpEnd& remote, int64_t* uid) {
  // Never destroyed: workers may still ask while the process ends.
  static TDiagSocket* const diag = new TDiagSocket;
  return diag->Owner(local, remote, uid);
}

bool ParseSocketLine(const std::string& line, TQsSocketEntry* entry) {
  std::istringstream in(line);
  std::vector<std::string> fields;
  for (std::string field; fields.size() < 10 && in >> field;) fields.push_back(field);
  // sl, local, remote, state, queues, timer, retransmits, uid, timeout, inode.
  if (fields.size() < 10 || fields[0].empty() || fields[0].back() != ':') return false;
  TQsSocketEntry parsed;
  if (!ParseEnd(fields[1], &parsed.local) || !ParseEnd(fields[2], &parsed.remote)) return false;
  for (const std::string* number : {&fields[7], &fields[9]}) {
    if (number->find_first_not_of("0123456789") != std::string::npos) return false;
  }
  parsed.uid = strtoll(fields[7].c_str(), nullptr, 10);
  parsed.inode = strtoull(fields[9].c_str(), nullptr, 10);
  *entry = parsed;
  return true;
}

int SocketOwner(const TQsTcpEnd& local, const TQsTcpEnd& remote, int64_t* uid,
                const std::string& proc_root) {
  int error = OwnerInTable(proc_root + "/net/tcp", local, remote, uid);
  if (error != 0) error = OwnerInTable(proc_root + "/net/tcp6", local, remote, uid);
  return error;
}

bool IsCallerOnThisComputer(in_addr_t peer, in_addr_t local) {
  return (ntohl(peer) >> 24) == 127 || peer == local;
}

TQsCaller CheckCaller(int fd, const std::string& proc_root) {
  TQsTcpEnd caller;
  if (!EndOf(fd, true, &caller)) return TQsCaller::kGone;
  return CheckCaller(fd, caller, proc_root);
}

TQsCaller CheckCaller(int fd, const TQsTcpEnd& caller, const std::string& proc_root) {
  TQsTcpEnd ours;
  if (!EndOf(fd, false, &ours)) return TQsCaller::kGone;
  if (!IsCallerOnThisComputer(caller.address, ours.address)) return TQsCaller::kTrusted;
  // The caller's socket: its local end is the caller's, its remote end ours.
  int64_t owner = -1;
  int error = SocketOwnerByDiag(caller, ours, &owner);
  if (error != 0 && error != ENOENT) error = SocketOwner(caller, ours, &owner, proc_root);
  if (error != 0) return TQsCaller::kGone;
  return owner == 0 ? TQsCaller::kTrusted : TQsCaller::kNotRoot;
}
