// The event log. Lines come from the main thread and from every connection
// worker; one process-wide lock spans the size check, the restart of a full
// file and the append, so that two events never mix, and a restart never
// deletes a line that another thread has just written. Opening and closing
// the file stay outside it: under 32 callers at once, the lock held over
// them queued the workers behind each other.
#include "qslx/event_log.h"

#include <mutex>
#include <utility>

#include "common/lang.h"
#include "common/log.h"

namespace {

std::mutex& LogMutex() {
  static std::mutex mutex;
  return mutex;
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
  AppendLogLineLocked(path_, "", "", text, max_size_, false, &LogMutex());
}
