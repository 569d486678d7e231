// The master server's own log under "data/": its start and stop, trouble
// with the UPS, and the "$LOG" jobs of the events.
#ifndef VOLTMON_WKSRV_MASTER_LOG_H_
#define VOLTMON_WKSRV_MASTER_LOG_H_

#include <string>

#include "wkcfg/model/setup.h"

// Appends one time-stamped line with `text`, when LogEnabled, restarting the
// file at LogMaxSize. Safe from any thread; a failure to write is dropped.
void AppendMasterLog(const TSetupData& setup, const std::string& text);

#endif  // VOLTMON_WKSRV_MASTER_LOG_H_
