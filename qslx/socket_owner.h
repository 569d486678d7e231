// Who owns the other end of a connection made on this computer: the kernel's
// socket diagnostics, or its tables of TCP sockets, "/proc/net/tcp" and
// "/proc/net/tcp6".
#ifndef VOLTMON_QSLX_SOCKET_OWNER_H_
#define VOLTMON_QSLX_SOCKET_OWNER_H_

#include <netinet/in.h>

#include <cstdint>
#include <string>

// One end of an IPv4 TCP connection; the address in network byte order.
struct TQsTcpEnd {
  in_addr_t address = 0;
  uint16_t port = 0;
};

// One line of a socket table taken apart.
struct TQsSocketEntry {
  TQsTcpEnd local;
  TQsTcpEnd remote;
  int64_t uid = -1;
  uint64_t inode = 0;  // 0: no process holds it (closed, or in TIME_WAIT)
};

// Takes apart a line of "/proc/net/tcp", or of "/proc/net/tcp6" when its
// addresses are IPv4-mapped. False for the header and any other line.
bool ParseSocketLine(const std::string& line, TQsSocketEntry* entry);

// The uid of the socket held by a process whose local end is `local` and
// remote end `remote`, searched in `proc_root` + "/net/tcp" and "/net/tcp6".
// 0 with `*uid` set; ENOENT when there is none, or the error number of a
// table that cannot be opened. A socket no process holds any more counts as
// none: the kernel shows uid 0 for one in TIME_WAIT.
int SocketOwner(const TQsTcpEnd& local, const TQsTcpEnd& remote, int64_t* uid,
                const std::string& proc_root = "/proc");

// The same as SocketOwner, asked of the kernel's socket diagnostics for the
// one socket (a mapped IPv6 socket included): 0 with `*uid` set, ENOENT when
// there is none, any other error number when the kernel cannot be asked (no
// such service; EPROTO for an answer it cannot read).
int SocketOwnerByDiag(const TQsTcpEnd& local, const TQsTcpEnd& remote, int64_t* uid);

// True when a caller at `peer` reaching this computer at `local` is on this
// computer itself: a loopback address, or the very address it called.
bool IsCallerOnThisComputer(in_addr_t peer, in_addr_t local);

// What the socket tables say about the caller of an accepted connection.
enum class TQsCaller {
  kTrusted,  // on another computer, or on this one with a socket of root
  kNotRoot,  // on this computer, its socket another user's
  kGone,     // on this computer, no process holds its socket any more (or
             // the ends of the connection cannot be told): nobody to answer
};

// The verdict for the accepted connection `fd`: the socket diagnostics are
// asked first, the tables below `proc_root` only when they cannot answer.
TQsCaller CheckCaller(int fd, const std::string& proc_root = "/proc");
// The same for a connection whose caller's end `caller` is already known.
TQsCaller CheckCaller(int fd, const TQsTcpEnd& caller, const std::string& proc_root = "/proc");

#endif  // VOLTMON_QSLX_SOCKET_OWNER_H_
