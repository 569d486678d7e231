// The alive check of the configured master servers.
#ifndef VOLTMON_QSLX_ALIVE_H_
#define VOLTMON_QSLX_ALIVE_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/tcp.h"
#include "qslx/event_log.h"
#include "qslx/scripts.h"
#include "qslx/setup.h"

// True when a descrambled reply is exactly the frame "<|5|Vantrel Wattkeep|>"
// by the frame rules: first field the integer 5, exactly two fields, the
// second equal to "Vantrel Wattkeep" (case counts).
bool IsValidAliveReply(const std::string& reply);

// The connection to one master at a time; a seam so that tests need no
// network.
class TQsAliveClient {
 public:
  enum class TConnectResult {
    kConnected,
    kNotConnected,  // returned without error, yet not connected
    kError,         // refused, timed out, not resolved
  };
  virtual ~TQsAliveClient() = default;
  virtual TConnectResult Connect(const std::string& host, uint16_t port, int timeout_ms) = 0;
  // Sends `request` as one line and reads one reply line within `timeout_ms`;
  // false when either fails.
  virtual bool Exchange(const std::string& request, std::string* reply, int timeout_ms) = 0;
  virtual bool Connected() const = 0;
  virtual void Disconnect() = 0;
};

// The real client over TCP. Its waits end at once when `wake_fd` (when not
// negative) becomes readable.
class TQsTcpAliveClient : public TQsAliveClient {
 public:
  explicit TQsTcpAliveClient(int wake_fd = -1) : wake_fd_(wake_fd) {}
  TConnectResult Connect(const std::string& host, uint16_t port, int timeout_ms) override;
  bool Exchange(const std::string& request, std::string* reply, int timeout_ms) override;
  bool Connected() const override { return connection_.IsOpen(); }
  void Disconnect() override { connection_.Close(); }

 private:
  int wake_fd_;
  TTcpConnection connection_;
};

struct TQsProbeResult {
  bool ok = false;
  int attempts = 0;
};

// Pauses the calling thread for a number of milliseconds.
using TQsSleeper = std::function<void(int ms)>;
// True once the daemon is to stop; no function: never.
using TQsStopRequested = std::function<bool()>;

// Probes every master of `addresses` in order on `alive.Port` with one
// client; one result per master, index-aligned. Once `stop_requested` says
// so after a wait, the probing ends with fewer results.
std::vector<TQsProbeResult> ProbeMasters(const TTextList& addresses, const TQsAliveCheck& alive,
                                         TQsAliveClient* client, const TQsSleeper& sleep,
                                         const TQsStopRequested& stop_requested = {});

// The alive counter and armed flag, counted in main-loop passes of 10 s.
struct TQsAliveState {
  int32_t AliveCounter = 0;
  bool AliveArmed = false;

  // Starts counting from 0 when `enabled`; otherwise stays disarmed.
  void Arm(bool enabled);
  void Disarm() { AliveArmed = false; }
};

// One main-loop pass of the alive check: counts 10 s and, once
// `Alive.Frequency` is reached, probes the masters, logs "LogAliveKo" per
// failed master and starts `Alive.Script` once when any failed. A check cut
// short by `stop_requested` logs and starts nothing: its masters were not
// given their time.
void AliveTick(TQsAliveState* state, const TQsSetupData& setup, TQsAliveClient* client,
               TQsEventSink* events, const TQsProgramStarter& start, const TQsSleeper& sleep,
               const TQsStopRequested& stop_requested = {});

#endif  // VOLTMON_QSLX_ALIVE_H_
