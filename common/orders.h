// The orders a master server gives a slave daemon, one row each: the number
// on the wire, the master's remote action code, the daemon's script key and
// event key, and the texts that name it. Every program that sends, carries
// out, configures or shows an order reads this table; a new order is a row
// here and a script field in the daemon's settings record.
#ifndef VOLTMON_COMMON_ORDERS_H_
#define VOLTMON_COMMON_ORDERS_H_

#include <cstdint>
#include <string>

struct TOrder {
  int32_t command;           // field 2 of the request frame; the row's index
  const char* action_code;   // the master's remote job, such as "$R_SHUT"
  int action_index;          // the job's key in language section "ACTIONS"
  const char* script_key;    // the "bin/qslx.cfg" key of the script it runs
  const char* event_key;     // the daemon's event, a key of section "QSSRV"
  const char* name;          // fixed English name in the master's reports
  const char* script_label;  // the script's label on the slave's setup screen
  bool carries_text;         // field 3 must hold a text, passed quoted
  bool script_required;      // the daemon does not start without its script
  bool logs_script_first;    // the bare script path is logged before the event
};

constexpr int kOrderCount = 5;
inline constexpr TOrder kOrders[kOrderCount] = {
    {0, "$R_SHUT", 3, "ScriptShutdown", "LogShutdown", "shut down", "Shutdown script:", false, true,
     false},
    {1, "$R_MSG", 4, "ScriptMessage", "LogMessage", "message", "Message script:", true, true,
     false},
    {2, "$R_SHELL_1", 5, "ScriptCustom_1", "LogCustom_1", "custom script 1",
     "Custom script 1:", false, false, false},
    {3, "$R_SHELL_2", 6, "ScriptCustom_2", "LogCustom_2", "custom script 2",
     "Custom script 2:", false, false, true},
    {4, "$R_SHELL_3", 7, "ScriptCustom_3", "LogCustom_3", "custom script 3",
     "Custom script 3:", false, false, false},
};

// The shutdown order, the one a rehearsal asks to confirm.
constexpr int32_t kShutdownCommand = 0;

// The row of command number `command`; null for a number that is no order.
const TOrder* FindOrder(int32_t command);
// The row whose remote action code is `code`; null for any other code.
const TOrder* FindOrderByAction(const std::string& code);
// The row whose "ACTIONS" key is `action`; null for a local action.
const TOrder* FindOrderByActionIndex(int action);

// The request line of an order: "<|ID|COMMAND|>", for an order that carries
// a text "<|ID|COMMAND|TEXT|>" with the text's "|" made "/" (the slave would
// cut it there).
std::string OrderFrame(int32_t id, const TOrder& order, const std::string& text);

#endif  // VOLTMON_COMMON_ORDERS_H_
