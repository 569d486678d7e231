// The reading cache. A listing of every variable costs upsd and the server
// tens of lines, which NUT's client library reads 64 bytes at a time; one
// status a poll keeps an idle server as cheap as NUT's own monitor, and the
// rest (temperature, phases, the recorder's values) is listed on a period
// of its own and at every poll on battery.
#include "wksrv/reading_cache.h"

#include "wksrv/detect.h"

void TReadingCache::TakeList(const TVars& vars) {
  last_ = vars;
  listed_ = true;
}

TReadingCache::TVars TReadingCache::WithStatus(const std::string& status) {
  last_["ups.status"] = status;
  return last_;
}

bool TReadingCache::StatusWantsList(const std::string& status) {
  return StatusHasFlag(status, "OB") || StatusHasFlag(status, "ALARM");
}

void TReadingCache::Forget() {
  last_.clear();
  listed_ = false;
}
