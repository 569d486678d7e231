// A name server that takes queries and never answers, for the system tests
// of what a program does while the name service is down: a UDP socket on
// 127.0.0.53 port 53 that is never read, named by a private resolv.conf
// (the resolver's defaults: 5 s a try, 2 tries) bind-mounted over
// /etc/resolv.conf, with a private hosts file over /etc/hosts. Only inside
// the mount and network namespaces of a test case (nsrun).
#ifndef VOLTMON_TESTS_SUPPORT_SILENT_NAMES_H_
#define VOLTMON_TESTS_SUPPORT_SILENT_NAMES_H_

#include <string>

class TSilentNameServer {
 public:
  // Writes its files into `dir`; `hosts` is the private hosts file.
  explicit TSilentNameServer(const std::string& dir,
                             const std::string& hosts = "127.0.0.1 localhost\n");
  // Unmounts both files and closes the socket.
  ~TSilentNameServer();
  TSilentNameServer(const TSilentNameServer&) = delete;
  TSilentNameServer& operator=(const TSilentNameServer&) = delete;

  // Empty when in place; otherwise what failed.
  const std::string& Error() const { return error_; }

 private:
  int socket_ = -1;
  int mounted_ = 0;
  std::string error_;
};

#endif  // VOLTMON_TESTS_SUPPORT_SILENT_NAMES_H_
