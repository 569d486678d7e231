// The master's side of one order. The daemon answers nothing after its
// greeting, so "accepted" means greeted with "<|ok|>" and the whole request
// written; whether the daemon then ran its script only its log tells.

#include "tools/master_order.h"

#include <cerrno>
#include <cstring>

#include "common/scramble.h"
#include "common/tcp.h"

namespace {

constexpr size_t kMaxGreeting = 65536;

}  // namespace

const char* ReadStatusText(TReadStatus status) {
  switch (status) {
    case TReadStatus::kLine:
      return "a line";
    case TReadStatus::kClosed:
      return "the connection was closed";
    case TReadStatus::kTimeout:
      return "timed out";
    case TReadStatus::kTooLong:
      return "the line is too long";
    case TReadStatus::kError:
      break;
  }
  return "read error";
}

TOrderOutcome GiveOrder(const TMasterSend& send) {
  TOrderOutcome outcome;
  TTcpConnection connection;
  int error = 0;
  if (!TcpConnect(send.host, send.port, send.timeout_seconds * 1000, &connection, &error,
                  send.bind)) {
    outcome.kind = TOrderOutcome::TKind::kNoConnection;
    const bool name = error == kTcpNameUnknown || error == kTcpNameNoAnswer;
    outcome.detail = (name ? "" : "cannot connect: ") + TcpConnectErrorText(error, send.host);
    return outcome;
  }
  std::string line;
  TReadStatus status = connection.ReadLine(&line, kMaxGreeting, send.timeout_seconds * 1000);
  if (status != TReadStatus::kLine) {
    outcome.kind = TOrderOutcome::TKind::kNoGreeting;
    outcome.detail = std::string("no greeting: ") + ReadStatusText(status);
    return outcome;
  }
  outcome.greeting = Descramble(line);
  if (outcome.greeting == "<|KO|>") {
    outcome.kind = TOrderOutcome::TKind::kRefused;
    return outcome;
  }
  if (outcome.greeting != "<|ok|>") {
    outcome.kind = TOrderOutcome::TKind::kOddGreeting;
    outcome.detail = "unexpected greeting";
    return outcome;
  }
  if (!connection.WriteLine(send.plain ? send.line : Scramble(send.line))) {
    outcome.kind = TOrderOutcome::TKind::kSendFailed;
    outcome.detail = std::string("sending the request failed: ") + std::strerror(errno);
    return outcome;
  }
  outcome.kind = TOrderOutcome::TKind::kAccepted;
  return outcome;
}
