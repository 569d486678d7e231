// A threaded TCP server: one listener thread, one worker thread per accepted
// connection. The signals its caller names are blocked in its threads, so
// that they reach the caller's own thread.
#ifndef VOLTMON_COMMON_TCP_SERVER_H_
#define VOLTMON_COMMON_TCP_SERVER_H_

#include <signal.h>

#include <cstdint>
#include <functional>
#include <utility>

#include "common/tcp.h"

class TTcpServer {
 public:
  // Called first on the worker; false ends the connection at once.
  using TConnectHandler = std::function<bool(TTcpConnection&)>;
  // Called after a true connect handler; the connection closes after it.
  using TExecuteHandler = std::function<void(TTcpConnection&)>;

  TTcpServer();
  virtual ~TTcpServer();  // Deactivates.
  TTcpServer(const TTcpServer&) = delete;
  TTcpServer& operator=(const TTcpServer&) = delete;

  void SetDefaultPort(uint16_t port) { port_ = port; }
  uint16_t DefaultPort() const { return port_; }
  void SetConnectHandler(TConnectHandler handler) { on_connect_ = std::move(handler); }
  void SetExecuteHandler(TExecuteHandler handler) { on_execute_ = std::move(handler); }
  // The signals blocked in the server's threads (none by default); set
  // before Activate.
  void SetBlockedSignals(const sigset_t& signals) { blocked_ = signals; }

  // Listens on the default port on all local IPv4 addresses and starts the
  // listener. 0 on success, otherwise the errno of the failing call.
  int Activate();

  // Stops listening, shuts down open connections and joins every thread.
  void Deactivate();

  bool Active() const;

  // The port actually listened on (the chosen one when the default port is
  // 0); 0 while inactive.
  uint16_t BoundPort() const;

 private:
  struct TImpl;
  TImpl* impl_;
  uint16_t port_ = 0;
  TConnectHandler on_connect_;
  TExecuteHandler on_execute_;
  sigset_t blocked_;
};

#endif  // VOLTMON_COMMON_TCP_SERVER_H_
