// Turning one request frame into an order: the event to log and the program
// to start with its single argument, as the order's row says. Nothing is
// started here.
#include "qslx/dispatch.h"

#include "common/orders.h"
#include "qslx/frame.h"

TQsOrder DispatchFrame(const std::string& frame, const TQsSetupData& setup) {
  TQsOrder order;
  TextList fields;
  if (!TakeFrameApart(frame, &fields) || fields.size() < 2) return order;
  int32_t sequence = 0;
  int32_t command = 0;
  if (!ParseInt32(fields[0], &sequence) || !ParseInt32(fields[1], &command)) return order;
  const TOrder* row = FindOrder(command);
  if (row == nullptr) return order;
  if (row->CarriesText) {
    if (fields.size() < 3 || fields[2].empty()) return order;
    order.Argument = "\"" + fields[2] + "\"";
  }
  order.EventKey = row->EventKey;
  order.Program = QsOrderScript(setup, *row);
  order.LogProgramFirst = row->LogsScriptFirst;
  return order;
}
