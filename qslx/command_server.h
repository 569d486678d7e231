// The daemon's command server: greets allowed masters, reads one scrambled
// request per connection, starts the ordered script and logs the event.
#ifndef VOLTMON_QSLX_COMMAND_SERVER_H_
#define VOLTMON_QSLX_COMMAND_SERVER_H_

#include <cstddef>
#include <cstdint>
#include <functional>

#include "common/tcp_server.h"
#include "qslx/event_log.h"
#include "qslx/peers.h"
#include "qslx/request_line.h"
#include "qslx/scripts.h"
#include "qslx/setup.h"
#include "qslx/socket_owner.h"

// A greeted caller that sends no request line within this time is dropped.
constexpr int kRequestReadTimeoutMs = 30000;
// The longest a caller matching no known master address waits for the
// configured names to be looked up anew before it is refused.
constexpr int kPeerLookupWaitMs = 1000;

// Whether the caller of an accepted connection may be a master at all,
// whatever its address: one on this computer must be root.
using TQsCallerCheck = std::function<TQsCaller(const TTcpConnection& connection)>;
TQsCaller CheckConnectionCaller(const TTcpConnection& connection);

class TQshTcpServer : public TTcpServer {
 public:
  // Everything it uses must outlive it. The workers read `setup` without a
  // lock: change it only while the server is stopped (after Stop, before
  // Start).
  TQshTcpServer(const TQsSetupData& setup, TQsAllowedPeers* peers, TQsEventSink* events,
                TQsProgramStarter start, TBlockingResolver resolve = SystemResolve,
                int read_timeout_ms = kRequestReadTimeoutMs,
                TQsCallerCheck check_caller = CheckConnectionCaller);
  ~TQshTcpServer() override;

  // Greets the caller: "<|ok|>" and true for an allowed master that passes
  // the caller check; "<|KO|>", the event "LogNotExecuted" and false for
  // anyone else. False without an event when the greeting fails or the
  // caller is already gone. A caller matching no known address waits at
  // most kPeerLookupWaitMs for the names to be looked up anew.
  bool TcpServerConnect(TTcpConnection& connection);

  // Reads and carries out the one request of a greeted master.
  void TcpServerExecute(TTcpConnection& connection);

  // Fills the allowed peer list from the setup and starts looking its names
  // up, installs both handlers, blocks the daemon's handled signals in the
  // server's threads and listens on `port`: 0 or the errno of the failure.
  int Start(uint16_t port);
  // Ends the waits for names, deactivates, stops the lookups and detaches
  // both handlers; never waits for the name service.
  void Stop();

 private:
  const TQsSetupData& setup_;
  TQsAllowedPeers* peers_;
  TQsEventSink* events_;
  TQsProgramStarter start_;
  int read_timeout_ms_;
  TQsCallerCheck check_caller_;
  TQsNameRefresher names_;
};

#endif  // VOLTMON_QSLX_COMMAND_SERVER_H_
