// The master's log follows the daemon's: the same line format and the same
// restart from empty at the size limit. Lines come from the poll loop and
// from every event's thread, so the writes go through one shared log.

#include "wksrv/master_log.h"

#include "common/log.h"

namespace {

// Never destroyed: an event's detached thread may still log while the
// process ends.
TSharedLog& MasterLog() {
  static TSharedLog* log = new TSharedLog;
  return *log;
}

}  // namespace

void AppendMasterLog(const TSetupData& setup, const std::string& text) {
  if (!setup.LogData.LogEnabled) return;
  MasterLog().Append(setup.InstallPath + "data/wk_log.txt", "", "", text, setup.LogData.LogMaxSize,
                     false);
}
