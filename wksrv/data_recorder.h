// The data recording: with DataEnabled, one line of the chosen readings every
// DataRate seconds into the data file "data/wk_data.txt", restarted empty at
// DataMaxSize.
//
// The NUT variable behind each flag (the first one the UPS gives is taken;
// a three-phase UPS reports its phases as L1, L2, L3 = R, S, T):
//   DataReadVinPhaseR   input.L1-N.voltage, input.voltage
//   DataReadVoutPhaseR  output.L1-N.voltage, output.voltage
//   DataReadPoutPhaseR  output.L1.realpower, output.realpower, ups.realpower
//   DataReadVinPhaseS   input.L2-N.voltage
//   DataReadVoutPhaseS  output.L2-N.voltage
//   DataReadPoutPhaseS  output.L2.realpower
//   DataReadVinPhaseT   input.L3-N.voltage
//   DataReadVoutPhaseT  output.L3-N.voltage
//   DataReadPoutPhaseT  output.L3.realpower
//   DataReadVbatt       battery.voltage
//   DataReadBattChg     battery.charge
//   DataReadAutTime     battery.runtime
#ifndef VOLTMON_WKSRV_DATA_RECORDER_H_
#define VOLTMON_WKSRV_DATA_RECORDER_H_

#include <ctime>
#include <map>
#include <string>

#include "wkcfg/model/setup.h"
#include "wksrv/ups_link.h"

// What follows the date and time on a data line: the values of the set
// flags in the flags' order, each joined by the separator; a value the
// reading lacks is empty. An empty DataSeparator counts as ",", which keeps
// the values apart.
std::string DataValues(const TLogDataSetup& data, const std::map<std::string, std::string>& vars);

// The separator a data line uses (DataSeparator, or "," when it is empty).
std::string DataLineSeparator(const TLogDataSetup& data);

class TDataRecorder {
 public:
  explicit TDataRecorder(const TSetupData& setup);
  // Called after every poll with the wall-clock time; writes a line when
  // DataRate seconds have passed since the last one (at once the first time,
  // and also when the clock was set back).
  void Offer(const TUpsReading& reading, time_t now);

 private:
  const TSetupData& setup_;
  time_t last_ = 0;
  bool written_ = false;
};

#endif  // VOLTMON_WKSRV_DATA_RECORDER_H_
