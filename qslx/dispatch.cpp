// Turning one request frame into an order: the event to log and the program
// to start with its single argument, as the order's row says. Nothing is
// started here.
#include "qslx/dispatch.h"

#include "common/orders.h"
#include "qslx/frame.h"

TQsOrder DispatchFrame(const std::string& frame, const TQsSetupData& setup) {
  TQsOrder order;
  TTextList fields;
  if (!TakeFrameApart(frame, &fields) || fields.size() < 2) return order;
  int32_t sequence = 0;
  int32_t command = 0;
  if (!ParseInt32(fields[0], &sequence) || !ParseInt32(fields[1], &command)) return order;
  const TOrder* row = FindOrder(command);
  if (row == nullptr) return order;
  if (row->carries_text) {
    if (fields.size() < 3 || fields[2].empty()) return order;
    order.argument = "\"" + fields[2] + "\"";
  }
  order.event_key = row->event_key;
  order.program = QsOrderScript(setup, *row);
  order.log_program_first = row->logs_script_first;
  return order;
}
