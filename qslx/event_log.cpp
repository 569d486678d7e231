// The event log. Lines come from the main thread and from every connection
// worker through one process-wide shared log, which serialises the size
// check, the restart of a full file and the append, so that two events never
// mix and a restart never deletes a line that another thread has just
// written. Under 32 callers at once a lock taken per line queued the workers
// behind each other's open and close; the shared log writes what queues up
// meanwhile in one go.
#include "qslx/event_log.h"

#include <utility>

#include "common/lang.h"
#include "common/log.h"

namespace {

// Never destroyed: a worker may still log while the process ends.
TSharedLog& SharedLog() {
  static TSharedLog* log = new TSharedLog;
  return *log;
}

}  // namespace

std::string EventText(const std::string& key, const TTextList& params) {
  return ReplaceParams(LangText(key, "QSSRV"), params);
}

TQsEventLog::TQsEventLog(std::string path, bool enabled, int64_t max_size)
    : path_(std::move(path)), enabled_(enabled), max_size_(max_size) {}

TQsEventLog::TQsEventLog(const TQsSetupData& setup)
    : TQsEventLog(setup.InstallPath + "data/qs_log.txt", setup.LogEnabled, setup.LogMaxSize) {}

void TQsEventLog::WriteEvent(const std::string& key, const TTextList& params) {
  if (!enabled_) return;
  WriteLine(EventText(key, params));
}

void TQsEventLog::WriteLine(const std::string& text) {
  if (!enabled_) return;
  SharedLog().Append(path_, "", "", text, max_size_, false);
}
