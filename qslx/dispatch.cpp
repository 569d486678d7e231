// Turning one request frame into an order: the event to log and the program
// to start with its single argument. Nothing is started here.
#include "qslx/dispatch.h"

#include "qslx/frame.h"

TQsOrder DispatchFrame(const std::string& frame, const TQsSetupData& setup) {
  TQsOrder order;
  TextList fields;
  if (!TakeFrameApart(frame, &fields) || fields.size() < 2) return order;
  int32_t sequence = 0;
  int32_t command = 0;
  if (!ParseInt32(fields[0], &sequence) || !ParseInt32(fields[1], &command)) return order;
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
