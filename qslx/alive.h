// The alive check of the configured master servers.
#ifndef VOLTMON_QSLX_ALIVE_H_
#define VOLTMON_QSLX_ALIVE_H_

#include <string>

// True when a descrambled reply is exactly the frame "<|5|Vantrel Wattkeep|>"
// by the frame rules: first field the integer 5, exactly two fields, the
// second equal to "Vantrel Wattkeep" (case counts).
bool IsValidAliveReply(const std::string& reply);

#endif  // VOLTMON_QSLX_ALIVE_H_
