// One order given to a slave daemon as the master server gives it: connect,
// read the greeting, and after "<|ok|>" send one scrambled request line.
#ifndef VOLTMON_TOOLS_MASTER_ORDER_H_
#define VOLTMON_TOOLS_MASTER_ORDER_H_

#include <string>

#include "common/tcp.h"
#include "tools/qsmaster_args.h"

struct TOrderOutcome {
  enum class TKind {
    kAccepted,      // greeted "<|ok|>" and the request was written
    kRefused,       // greeted "<|KO|>"
    kNoConnection,  // the connect failed
    kNoGreeting,    // no greeting line in time, or the connection ended
    kOddGreeting,   // some other greeting; nothing sent
    kSendFailed,    // greeted "<|ok|>" but the request could not be written
  } kind = TKind::kNoConnection;
  std::string greeting;  // descrambled, when one arrived
  std::string detail;    // what went wrong, for the failures
};

// Gives the order `send` describes; never throws.
TOrderOutcome GiveOrder(const TMasterSend& send);

// A short text for how reading a line ended, for the messages of the tools.
const char* ReadStatusText(TReadStatus status);

#endif  // VOLTMON_TOOLS_MASTER_ORDER_H_
