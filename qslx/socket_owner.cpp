// The owner of a connection's other end on this computer. Masters on the
// same computer run as root; any user can connect from the loopback, so the
// address alone does not make such a caller a master. The kernel's socket
// tables name each socket's uid: the peer's socket is the line whose local
// end is the caller's end and whose remote end is ours. A table is read line
// by line and the search stops at the match, as the tables can be long.
#include "qslx/socket_owner.h"

#include <arpa/inet.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>

#include <cstring>
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
  end->Address = word;
  end->Port = static_cast<uint16_t>(port_value);
  return true;
}

bool SameEnd(const TQsTcpEnd& a, const TQsTcpEnd& b) {
  return a.Address == b.Address && a.Port == b.Port;
}

int64_t OwnerInTable(const std::string& path, const TQsTcpEnd& local, const TQsTcpEnd& remote) {
  FILE* table = fopen(path.c_str(), "re");
  if (table == nullptr) return -1;
  int64_t owner = -1;
  char* line = nullptr;
  size_t capacity = 0;
  while (getline(&line, &capacity, table) >= 0) {
    TQsSocketEntry entry;
    if (!ParseSocketLine(line, &entry)) continue;
    if (!SameEnd(entry.Local, local) || !SameEnd(entry.Remote, remote)) continue;
    if (entry.Inode != 0) {
      owner = entry.Uid;
      break;
    }
  }
  free(line);
  fclose(table);
  return owner;
}

bool EndOf(int fd, bool peer, TQsTcpEnd* end) {
  sockaddr_in address;
  socklen_t length = sizeof address;
  std::memset(&address, 0, sizeof address);
  sockaddr* a = reinterpret_cast<sockaddr*>(&address);
  int rc = peer ? getpeername(fd, a, &length) : getsockname(fd, a, &length);
  if (rc != 0 || address.sin_family != AF_INET) return false;
  end->Address = address.sin_addr.s_addr;
  end->Port = ntohs(address.sin_port);
  return true;
}

}  // namespace

bool ParseSocketLine(const std::string& line, TQsSocketEntry* entry) {
  std::istringstream in(line);
  std::vector<std::string> fields;
  for (std::string field; fields.size() < 10 && in >> field;) fields.push_back(field);
  // sl, local, remote, state, queues, timer, retransmits, uid, timeout, inode.
  if (fields.size() < 10 || fields[0].empty() || fields[0].back() != ':') return false;
  TQsSocketEntry parsed;
  if (!ParseEnd(fields[1], &parsed.Local) || !ParseEnd(fields[2], &parsed.Remote)) return false;
  for (const std::string* number : {&fields[7], &fields[9]}) {
    if (number->find_first_not_of("0123456789") != std::string::npos) return false;
  }
  parsed.Uid = strtoll(fields[7].c_str(), nullptr, 10);
  parsed.Inode = strtoull(fields[9].c_str(), nullptr, 10);
  *entry = parsed;
  return true;
}

int64_t SocketOwner(const TQsTcpEnd& local, const TQsTcpEnd& remote, const std::string& proc_root) {
  int64_t owner = OwnerInTable(proc_root + "/net/tcp", local, remote);
  if (owner < 0) owner = OwnerInTable(proc_root + "/net/tcp6", local, remote);
  return owner;
}

bool IsCallerOnThisComputer(in_addr_t peer, in_addr_t local) {
  return (ntohl(peer) >> 24) == 127 || peer == local;
}

TQsCaller CheckCaller(int fd, const std::string& proc_root) {
  TQsTcpEnd ours;
  TQsTcpEnd caller;
  if (!EndOf(fd, false, &ours) || !EndOf(fd, true, &caller)) return TQsCaller::kGone;
  if (!IsCallerOnThisComputer(caller.Address, ours.Address)) return TQsCaller::kTrusted;
  // The caller's socket: its local end is the caller's, its remote end ours.
  const int64_t owner = SocketOwner(caller, ours, proc_root);
  if (owner < 0) return TQsCaller::kGone;
  return owner == 0 ? TQsCaller::kTrusted : TQsCaller::kNotRoot;
}
