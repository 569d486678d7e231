// Fuzzes taking a request frame apart and dispatching it. The dispatch is
// pure: it returns the order instead of starting a program, and that order
// must be the one the command table gives for the frame's fields.
//
// Input: one flag byte, then the request. Flag bit 0: the request is a wire
// line and is descrambled first, as the daemon does. Bits 1-5: which of the
// five script paths are left empty in the settings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/scramble.h"
#include "common/text.h"
#include "qslx/dispatch.h"
#include "qslx/frame.h"
#include "qslx/setup.h"

namespace {

void Require(bool condition) {
  if (!condition) abort();
}

TQsSetupData SetupFor(uint8_t flags) {
  TQsSetupData setup;
  setup.InstallPath = "/usr/vantrel/voltmon/";
  setup.ScriptShutdown = (flags & 0x02) ? "" : "/s/shutdown.sh";
  setup.ScriptMessage = (flags & 0x04) ? "" : "/s/message.sh";
  setup.ScriptCustom_1 = (flags & 0x08) ? "" : "/s/custom1.sh";
  setup.ScriptCustom_2 = (flags & 0x10) ? "" : "/s/custom2.sh";
  setup.ScriptCustom_3 = (flags & 0x20) ? "" : "/s/custom3.sh";
  return setup;
}

TQsOrder Expected(const std::string& frame, const TQsSetupData& setup) {
  TQsOrder order;
  TStringList fields;
  int32_t id = 0;
  int32_t command = 0;
  if (!TakeFrameApart(frame, &fields) || fields.size() < 2 || !ParseInt32(fields[0], &id) ||
      !ParseInt32(fields[1], &command)) {
    return order;
  }
  switch (command) {
    case 0:
      order.EventKey = "LogShutdown";
      order.Program = setup.ScriptShutdown;
      break;
    case 1:
      if (fields.size() >= 3 && !fields[2].empty()) {
        order.EventKey = "LogMessage";
        order.Program = setup.ScriptMessage;
        order.Argument = "\"" + fields[2] + "\"";
      }
      break;
    case 2:
      order.EventKey = "LogCustom_1";
      order.Program = setup.ScriptCustom_1;
      break;
    case 3:
      order.EventKey = "LogCustom_2";
      order.Program = setup.ScriptCustom_2;
      order.LogProgramFirst = true;
      break;
    case 4:
      order.EventKey = "LogCustom_3";
      order.Program = setup.ScriptCustom_3;
      break;
    default:
      break;
  }
  return order;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  const std::string request(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string frame = (flags & 0x01) ? Descramble(request) : request;
  const TQsSetupData setup = SetupFor(flags);

  TStringList fields;
  if (TakeFrameApart(frame, &fields)) {
    Require(frame.front() == '<' && frame.back() == '>');
    for (const std::string& field : fields) Require(field.find('|') == std::string::npos);
  }

  const TQsOrder order = DispatchFrame(frame, setup);
  const TQsOrder want = Expected(frame, setup);
  Require(order.EventKey == want.EventKey);
  Require(order.Program == want.Program);
  // Without a program the argument goes nowhere, so either form is sound.
  if (!want.Program.empty()) Require(order.Argument == want.Argument);
  Require(order.LogProgramFirst == want.LogProgramFirst);
  return 0;
}
