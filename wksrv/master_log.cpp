// The master's log follows the daemon's: the same line format and the same
// restart from empty at the size limit. Lines come from the poll loop and
// from every event's thread, so the writes go through one process-wide lock.

#include "wksrv/master_log.h"

#include <mutex>

#include "common/log.h"

namespace {

std::mutex g_master_log_lock;

}  // namespace

void AppendMasterLog(const TSetupData& setup, const std::string& text) {
  if (!setup.LogData.LogEnabled) return;
  AppendLogLineLocked(setup.InstallPath + "data/wk_log.txt", "", "", text, setup.LogData.LogMaxSize,
                      false, &g_master_log_lock);
}
