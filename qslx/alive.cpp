// The alive check: at a fixed count of main-loop passes the daemon calls each
// configured master on its alive port, sends "<|5|>" and expects the master's
// identification back. It runs on the main thread, one master after the
// other, and every wait in it is bounded by the configured time limit.
#include "qslx/alive.h"

#include <climits>

#include "common/scramble.h"
#include "qslx/frame.h"

namespace {

constexpr int32_t kPassSeconds = 10;
const char kMasterIdentity[] = "Vantrel Wattkeep";
constexpr int32_t kAliveRequest = 5;
// Longer replies are not the identification.
constexpr size_t kMaxReplyLine = 4096;
// A reply is awaited at least this long, even with a time limit of 0.
constexpr int kMinReplyWaitMs = 1000;

int SecondsToMs(int64_t seconds) {
  int64_t ms = seconds * 1000;
  if (ms < 0) return 0;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

}  // namespace

bool IsValidAliveReply(const std::string& reply) {
  TTextList fields;
  if (!TakeFrameApart(reply, &fields) || fields.size() != 2) return false;
  int32_t number = 0;
  return ParseInt32(fields[0], &number) && number == kAliveRequest && fields[1] == kMasterIdentity;
}

TQsAliveClient::TConnectResult TQsTcpAliveClient::Connect(const std::string& host, uint16_t port,
                                                          int timeout_ms) {
  int error = 0;
  if (TcpConnect(host, port, timeout_ms, &connection_, &error, "", wake_fd_)) {
    return TConnectResult::kConnected;
  }
  return error != 0 ? TConnectResult::kError : TConnectResult::kNotConnected;
}

bool TQsTcpAliveClient::Exchange(const std::string& request, std::string* reply, int timeout_ms) {
  if (!connection_.WriteLine(request)) return false;
  return connection_.ReadLine(reply, kMaxReplyLine, timeout_ms, wake_fd_) == TReadStatus::kLine;
}

std::vector<TQsProbeResult> ProbeMasters(const TTextList& addresses, const TQsAliveCheck& alive,
                                         TQsAliveClient* client, const TQsSleeper& sleep,
                                         const TQsStopRequested& stop_requested) {
  auto stopping = [&] { return stop_requested && stop_requested(); };
  std::vector<TQsProbeResult> results;
  const int connect_ms = SecondsToMs(alive.TimeOut);
  const int reply_ms = connect_ms < kMinReplyWaitMs ? kMinReplyWaitMs : connect_ms;
  const std::string request = Scramble(FrameNumber(kAliveRequest));
  for (const std::string& address : addresses) {
    TQsProbeResult result;
    bool connected = false;
    do {
      ++result.attempts;
      TQsAliveClient::TConnectResult r = client->Connect(address, alive.Port, connect_ms);
      if (r == TQsAliveClient::TConnectResult::kConnected) {
        connected = true;
        break;
      }
      if (stopping()) break;
      if (r == TQsAliveClient::TConnectResult::kNotConnected) sleep(SecondsToMs(alive.Delay));
      if (stopping()) break;
    } while (result.attempts < alive.Retries);

    if (connected && !stopping()) {
      std::string reply;
      result.ok =
          client->Exchange(request, &reply, reply_ms) && IsValidAliveReply(Descramble(reply));
    }
    if (client->Connected()) client->Disconnect();
    if (stopping()) break;
    results.push_back(result);
  }
  return results;
}

void TQsAliveState::Arm(bool enabled) {
  if (!enabled) return;
  AliveCounter = 0;
  AliveArmed = true;
}

void AliveTick(TQsAliveState* state, const TQsSetupData& setup, TQsAliveClient* client,
               TQsEventSink* events, const TQsProgramStarter& start, const TQsSleeper& sleep,
               const TQsStopRequested& stop_requested) {
  if (!state->AliveArmed) return;
  if (state->AliveCounter <= INT32_MAX - kPassSeconds) state->AliveCounter += kPassSeconds;
  if (state->AliveCounter < setup.Alive.Frequency) return;
  state->AliveCounter = 0;
  state->AliveArmed = false;

  std::vector<TQsProbeResult> results =
      ProbeMasters(setup.Addresses, setup.Alive, client, sleep, stop_requested);
  if (stop_requested && stop_requested()) {
    state->AliveArmed = true;
    return;
  }
  bool any_failed = false;
  for (size_t i = 0; i < results.size(); ++i) {
    if (results[i].ok) continue;
    any_failed = true;
    events->WriteEvent("LogAliveKo", {setup.Addresses[i], std::to_string(results[i].attempts)});
  }
  if (any_failed) start(setup.Alive.Script, "");
  state->AliveArmed = true;
}
