// The command server's two handlers, run on each connection's own worker
// thread. A connection carries exactly one order: greeting, one request
// line, the script started, the event logged, closed. The master is told
// nothing after the greeting.
#include "qslx/command_server.h"

#include <cerrno>
#include <utility>

#include "common/scramble.h"
#include "qslx/dispatch.h"
#include "qslx/signals.h"

TQshTcpServer::TQshTcpServer(const TQsSetupData& setup, TQsAllowedPeers* peers,
                             TQsEventSink* events, TQsProgramStarter start,
                             TBlockingResolver resolve, int read_timeout_ms,
                             TQsCallerCheck check_caller)
    : setup_(setup),
      peers_(peers),
      events_(events),
      start_(std::move(start)),
      read_timeout_ms_(read_timeout_ms),
      check_caller_(std::move(check_caller)),
      names_(peers, events, std::move(resolve)) {}

TQsCaller CheckConnectionCaller(const TTcpConnection& connection) {
  sockaddr_in peer;
  if (!connection.PeerEnd(&peer)) return TQsCaller::kGone;
  TQsTcpEnd caller;
  caller.address = peer.sin_addr.s_addr;
  caller.port = ntohs(peer.sin_port);
  return CheckCaller(connection.fd(), caller);
}

bool TQshTcpServer::TcpServerConnect(TTcpConnection& connection) {
  const std::string peer = connection.PeerAddress();
  if (peer.empty()) return false;
  // The socket tables are read only for a listed address, never for a flood
  // of strangers. A caller that has already left is owed no answer.
  if (peers_->IndexOfWaiting(peer, kPeerLookupWaitMs, [this] { names_.AskAgain(); }) >= 0) {
    const TQsCaller caller = check_caller_(connection);
    if (caller == TQsCaller::kTrusted) return connection.WriteLine(Scramble(FrameText("ok")));
    if (caller == TQsCaller::kGone) return false;
  }
  if (connection.WriteLine(Scramble(FrameText("KO"))))
    events_->WriteEvent("LogNotExecuted", {peer});
  return false;
}

void TQshTcpServer::TcpServerExecute(TTcpConnection& connection) {
  std::string line;
  TReadStatus status = connection.ReadLine(&line, kMaxRequestLine, read_timeout_ms_);
  if (status != TReadStatus::kLine && status != TReadStatus::kTooLong) return;

  // An overlong line is an unrecognised request: logged, nothing run.
  TQsOrder order;
  if (status == TReadStatus::kLine) {
    order = DispatchFrame(Descramble(line), setup_);
    if (order.log_program_first) events_->WriteLine(order.program);
    if (!order.program.empty()) start_(order.program, order.argument);
  }

  int index = peers_->IndexOf(connection.PeerAddress());
  if (index < 0 || static_cast<size_t>(index) >= setup_.Addresses.size()) return;
  events_->WriteEvent(order.event_key, {setup_.Addresses[index]});
}

int TQshTcpServer::Start(uint16_t port) {
  peers_->Configure(setup_.Addresses);
  if (!names_.Start()) return EAGAIN;
  SetDefaultPort(port);
  sigset_t handled;
  HandledSignals(&handled);
  SetBlockedSignals(handled);
  SetExecuteHandler([this](TTcpConnection& c) { TcpServerExecute(c); });
  SetConnectHandler([this](TTcpConnection& c) { return TcpServerConnect(c); });
  const int error = Activate();
  if (error != 0) names_.Stop();
  return error;
}

TQshTcpServer::~TQshTcpServer() {
  Stop();
}

void TQshTcpServer::Stop() {
  // No worker may ask for lookups once they are stopped, so the workers go
  // first; none of them waits on a name any more.
  peers_->Abandon();
  Deactivate();
  names_.Stop();
  SetConnectHandler(nullptr);
  SetExecuteHandler(nullptr);
}
