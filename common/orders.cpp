// Lookups in the table of orders. The table is small and fixed, so a linear
// search is all it takes.
#include "common/orders.h"

#include <algorithm>

const TOrder* FindOrder(int32_t command) {
  return command >= 0 && command < kOrderCount ? &kOrders[command] : nullptr;
}

const TOrder* FindOrderByAction(const std::string& code) {
  for (const TOrder& order : kOrders) {
    if (code == order.action_code) return &order;
  }
  return nullptr;
}

const TOrder* FindOrderByActionIndex(int action) {
  for (const TOrder& order : kOrders) {
    if (action == order.action_index) return &order;
  }
  return nullptr;
}

std::string OrderFrame(int32_t id, const TOrder& order, const std::string& text) {
  std::string frame = "<|" + std::to_string(id) + "|" + std::to_string(order.command);
  if (order.carries_text) {
    std::string message = text;
    std::replace(message.begin(), message.end(), '|', '/');
    frame += "|" + message;
  }
  return frame + "|>";
}
