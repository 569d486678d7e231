#include "qslx/socket_owner.h"

#include <arpa/inet.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace {

TQsTcpEnd End(const char* address, uint16_t port) {
  TQsTcpEnd end;
  end.address = inet_addr(address);
  end.port = port;
  return end;
}

// The kernel's way of printing an IPv4 address: the address's 32-bit word
// as a host integer.
std::string Hex(const char* address) {
  char text[16];
  snprintf(text, sizeof text, "%08X", static_cast<unsigned>(inet_addr(address)));
  return text;
}

std::string Line(const std::string& local, const std::string& remote, int uid, int inode) {
  return "   3: " + local + " " + remote + " 01 00000000:00000000 00:00000000 00000000 " +
         std::to_string(uid) + "        0 " + std::to_string(inode) +
         " 1 0000000000000000 20 4 30 10 -1";
}

const char kHeader[] =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
    "timeout inode";

}  // namespace

TEST(ParseSocketLine, TakesApartIPv4AndMappedLinesOnly) {
  const std::string caller = Hex("127.0.0.1") + ":D431";
  const std::string ours = Hex("127.0.0.1") + ":1775";
  const std::string mapped = "0000000000000000FFFF0000" + Hex("127.0.0.2") + ":D431";
  const struct {
    std::string line;
    bool ok;
    int64_t uid;
  } kCases[] = {
      {Line(caller, ours, 65534, 4711), true, 65534},
      {Line(mapped, ours, 0, 4712), true, 0},
      {kHeader, false, -1},
      {"", false, -1},
      {Line("00000000000000000000000001000000:D431", ours, 0, 1), false, -1},  // ::1
      {Line(Hex("127.0.0.1") + ":D43", ours, 0, 1), false, -1},
      {Line("0x00007F:D431", ours, 0, 1), false, -1},
      {Line(caller, ours, 0, 1).substr(0, 60), false, -1},
      {"   3: " + caller + " " + ours + " 01 0:0 0:0 0 -5 0 7", false, -1},
  };
  for (const auto& c : kCases) {
    TQsSocketEntry entry;
    ASSERT_EQ(ParseSocketLine(c.line, &entry), c.ok) << c.line;
    if (c.ok) {
      EXPECT_EQ(entry.uid, c.uid) << c.line;
    }
  }
  TQsSocketEntry entry;
  ASSERT_TRUE(ParseSocketLine(Line(mapped, ours, 0, 4712), &entry));
  EXPECT_EQ(entry.local.address, inet_addr("127.0.0.2"));
  EXPECT_EQ(entry.local.port, 0xD431);
  EXPECT_EQ(entry.remote.port, 0x1775);
  EXPECT_EQ(entry.inode, 4712u);
}

// The uid the tables name, or -1 when they report none.
int64_t OwnerIn(const TQsTcpEnd& local, const TQsTcpEnd& remote, const std::string& root) {
  int64_t uid = -1;
  const int error = SocketOwner(local, remote, &uid, root);
  EXPECT_TRUE(error == 0 || error == ENOENT) << error;
  return error == 0 ? uid : -1;
}

class FakeNet : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/socket_owner_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    ASSERT_EQ(mkdir((root_ + "/net").c_str(), 0755), 0);
  }
  void TearDown() override {
    for (const char* name : {"/net/tcp", "/net/tcp6"}) unlink((root_ + name).c_str());
    rmdir((root_ + "/net").c_str());
    rmdir(root_.c_str());
  }
  void Table(const char* name, const std::string& lines) {
    std::ofstream(root_ + "/net/" + name) << kHeader << "\n" << lines;
  }
  std::string root_;
};

// The caller's socket is the line with its own end first; our accepted
// socket, with the two ends the other way round, says nothing about it.
TEST_F(FakeNet, OwnerOfTheCallersLiveSocket) {
  const TQsTcpEnd caller = End("127.0.0.1", 54321);
  const TQsTcpEnd ours = End("127.0.0.1", 6005);
  const std::string c = Hex("127.0.0.1") + ":D431";
  const std::string o = Hex("127.0.0.1") + ":1775";
  const std::string listen = Hex("0.0.0.0") + ":1775 00000000:0000";
  const struct {
    const char* name;
    std::string tcp;
    std::string tcp6;
    int64_t owner;
  } kCases[] = {
      {"ordinary user", Line(o, c, 0, 10) + "\n" + Line(c, o, 65534, 11) + "\n", "", 65534},
      {"root", Line(c, o, 0, 11) + "\n", "", 0},
      {"only our end", Line(o, c, 0, 10) + "\n" + listen + "\n", "", -1},
      {"other port", Line(Hex("127.0.0.1") + ":D432", o, 0, 11) + "\n", "", -1},
      {"closed or in TIME_WAIT", Line(c, o, 0, 0) + "\n", "", -1},
      {"mapped in tcp6", "",
       Line("0000000000000000FFFF0000" + c, "0000000000000000FFFF0000" + o, 1000, 12) + "\n", 1000},
      {"no line end", Line(c, o, 7, 11), "", 7},
  };
  for (const auto& k : kCases) {
    SCOPED_TRACE(k.name);
    Table("tcp", k.tcp);
    Table("tcp6", k.tcp6);
    EXPECT_EQ(OwnerIn(caller, ours, root_), k.owner);
  }
  int64_t uid = -1;
  EXPECT_EQ(SocketOwner(caller, ours, &uid, root_ + "/missing"), ENOENT);
}

TEST(IsCallerOnThisComputer, LoopbackOrTheCalledAddress) {
  EXPECT_TRUE(IsCallerOnThisComputer(inet_addr("127.0.0.1"), inet_addr("127.0.0.1")));
  EXPECT_TRUE(IsCallerOnThisComputer(inet_addr("127.255.0.9"), inet_addr("127.0.0.1")));
  EXPECT_TRUE(IsCallerOnThisComputer(inet_addr("192.0.2.5"), inet_addr("192.0.2.5")));
  EXPECT_FALSE(IsCallerOnThisComputer(inet_addr("192.0.2.6"), inet_addr("192.0.2.5")));
  EXPECT_FALSE(IsCallerOnThisComputer(inet_addr("128.0.0.1"), inet_addr("10.0.0.1")));
}

// The real tables of this computer: a loopback caller of this process is
// trusted exactly when this process is root, and gone once it has closed.
TEST(CheckCaller, LoopbackCallerOfThisProcess) {
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  int caller = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(caller, 0);
  ASSERT_EQ(connect(caller, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  int accepted = accept(listener, nullptr, nullptr);
  ASSERT_GE(accepted, 0);
  EXPECT_EQ(CheckCaller(accepted), geteuid() == 0 ? TQsCaller::kTrusted : TQsCaller::kNotRoot);
  EXPECT_EQ(CheckCaller(listener), TQsCaller::kGone) << "no peer";
  close(caller);
  EXPECT_EQ(CheckCaller(accepted), TQsCaller::kGone) << "closed: in the tables as root's";
  close(accepted);
  close(listener);
}

namespace {

// A loopback connection of this process: the caller's socket of `family`
// (AF_INET6 connects to the mapped address) and the accepted one.
struct Loopback {
  int listener = -1, caller = -1, accepted = -1;
  TQsTcpEnd caller_end, our_end;
  ~Loopback() {
    for (int fd : {accepted, caller, listener}) {
      if (fd >= 0) close(fd);
    }
  }
  void Open(int family) {
    listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    caller = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(caller, 0);
    if (family == AF_INET) {
      ASSERT_EQ(connect(caller, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    } else {
      sockaddr_in6 mapped = {};
      mapped.sin6_family = AF_INET6;
      mapped.sin6_port = address.sin_port;
      ASSERT_EQ(inet_pton(AF_INET6, "::ffff:127.0.0.1", &mapped.sin6_addr), 1);
      ASSERT_EQ(connect(caller, reinterpret_cast<sockaddr*>(&mapped), sizeof mapped), 0);
    }
    accepted = accept(listener, nullptr, nullptr);
    ASSERT_GE(accepted, 0);
    sockaddr_in end = {};
    length = sizeof end;
    ASSERT_EQ(getpeername(accepted, reinterpret_cast<sockaddr*>(&end), &length), 0);
    caller_end = {end.sin_addr.s_addr, ntohs(end.sin_port)};
    our_end = {address.sin_addr.s_addr, ntohs(address.sin_port)};
  }
};

}  // namespace

// The kernel's diagnostics agree with its tables on the real sockets of this
// computer, for the live caller, the gone one and ends nobody holds.
TEST(SocketOwnerByDiag, AgreesWithTheTables) {
  // A user-mode emulator offers no socket diagnostics: the tables serve.
  const int probe = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
  if (probe < 0 && (errno == EPROTONOSUPPORT || errno == EAFNOSUPPORT)) {
    GTEST_SKIP() << "no socket diagnostics here: " << strerror(errno);
  }
  ASSERT_GE(probe, 0) << strerror(errno);
  close(probe);
  const int64_t me = static_cast<int64_t>(geteuid());
  const struct {
    const char* name;
    int family;
    bool close_caller;
    bool swap_ends;  // our own accepted socket is not the caller's
    int64_t owner;
  } kCases[] = {
      {"live IPv4 caller", AF_INET, false, false, me},
      {"live mapped IPv6 caller", AF_INET6, false, false, me},
      {"caller closed", AF_INET, true, false, -1},
      {"ends the other way round", AF_INET, false, true, me},
  };
  for (const auto& k : kCases) {
    SCOPED_TRACE(k.name);
    Loopback net;
    ASSERT_NO_FATAL_FAILURE(net.Open(k.family));
    if (k.close_caller) {
      close(net.caller);
      net.caller = -1;
    }
    const TQsTcpEnd local = k.swap_ends ? net.our_end : net.caller_end;
    const TQsTcpEnd remote = k.swap_ends ? net.caller_end : net.our_end;
    int64_t by_diag = -1, by_table = -1;
    const int diag_error = SocketOwnerByDiag(local, remote, &by_diag);
    const int table_error = SocketOwner(local, remote, &by_table);
    EXPECT_EQ(diag_error, k.owner < 0 ? ENOENT : 0);
    EXPECT_EQ(table_error, diag_error);
    if (k.owner >= 0) {
      EXPECT_EQ(by_diag, k.owner);
      EXPECT_EQ(by_table, k.owner);
    }
  }
  Loopback net;
  ASSERT_NO_FATAL_FAILURE(net.Open(AF_INET));
  TQsTcpEnd nobody = net.caller_end;
  nobody.port = static_cast<uint16_t>(nobody.port ^ 1);
  int64_t uid = -1;
  EXPECT_EQ(SocketOwnerByDiag(nobody, net.our_end, &uid), ENOENT) << "no such connection";
}
