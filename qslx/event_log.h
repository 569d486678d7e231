// The daemon's event log "data/qs_log.txt": language texts of section
// "QSSRV" with their parameters, one time-stamped line per event.
#ifndef VOLTMON_QSLX_EVENT_LOG_H_
#define VOLTMON_QSLX_EVENT_LOG_H_

#include <cstdint>
#include <string>

#include "common/text.h"
#include "qslx/setup.h"

// Where the daemon's events go; a seam so that handlers can be tested.
class TQsEventSink {
 public:
  virtual ~TQsEventSink() = default;
  // The event `key` with its "$" marks filled by `params` in order.
  virtual void WriteEvent(const std::string& key, const TTextList& params) = 0;
  // `text` as a line of its own, without language lookup.
  virtual void WriteLine(const std::string& text) = 0;
};

// The text of event `key`: its "QSSRV" language text with "^" expanded and
// the "$" marks filled by `params` one after the other (an empty parameter
// removes its mark). Empty when the language file has no text for it.
std::string EventText(const std::string& key, const TTextList& params);

class TQsEventLog : public TQsEventSink {
 public:
  // Writes to `path` when `enabled`, restarting the file at `max_size` bytes.
  TQsEventLog(std::string path, bool enabled, int64_t max_size);
  // The log of the installation described by `setup`.
  explicit TQsEventLog(const TQsSetupData& setup);

  void WriteEvent(const std::string& key, const TTextList& params) override;
  // Serialised process-wide with every other line written through this
  // class, the size check and the restart of the file included.
  void WriteLine(const std::string& text) override;

 private:
  std::string path_;
  bool enabled_;
  int64_t max_size_;
};

#endif  // VOLTMON_QSLX_EVENT_LOG_H_
