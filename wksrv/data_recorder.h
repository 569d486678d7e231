// The data recording: with DataEnabled, one line of the chosen readings every
// DataRate seconds into the data file under "data/".
#ifndef VOLTMON_WKSRV_DATA_RECORDER_H_
#define VOLTMON_WKSRV_DATA_RECORDER_H_

#include <ctime>
#include <string>

#include "wkcfg/model/setup.h"
#include "wksrv/ups_link.h"

class TDataRecorder {
 public:
  explicit TDataRecorder(const TSetupData& setup);
  // Called after every poll with the wall-clock time; writes a line when
  // DataRate seconds have passed since the last one (at once the first time).
  void Offer(const TUpsReading& reading, time_t now);

 private:
  const TSetupData& setup_;
  time_t last_ = 0;
  bool written_ = false;
};

#endif  // VOLTMON_WKSRV_DATA_RECORDER_H_
