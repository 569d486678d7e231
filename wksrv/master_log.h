// The master server's own log, "data/wk_log.txt" below the installation:
// one time-stamped line per entry, restarted empty at LogMaxSize.
#ifndef VOLTMON_WKSRV_MASTER_LOG_H_
#define VOLTMON_WKSRV_MASTER_LOG_H_

#include <string>

#include "wkcfg/model/setup.h"

// Appends "date time  text" when LogEnabled; safe from any thread. A line
// that cannot be written is lost, as the daemon's are.
void AppendMasterLog(const TSetupData& setup, const std::string& text);

#endif  // VOLTMON_WKSRV_MASTER_LOG_H_
