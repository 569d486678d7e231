// The data file is the log writer's file in its separator form: date,
// time and the values, each joined by the chosen separator, so that a
// spreadsheet reads it as it is. A missing reading (upsd unreachable) still
// gives its line, with every value empty, so that the gap shows.

#include "wksrv/data_recorder.h"

#include <cstddef>

#include "common/log.h"

namespace {

struct TDataColumn {
  bool TLogDataSetup::*flag;
  const char* names[3];  // NUT variables, the first present one counts
};

const TDataColumn kColumns[] = {
    {&TLogDataSetup::DataReadVinPhaseR, {"input.L1-N.voltage", "input.voltage", nullptr}},
    {&TLogDataSetup::DataReadVoutPhaseR, {"output.L1-N.voltage", "output.voltage", nullptr}},
    {&TLogDataSetup::DataReadPoutPhaseR,
     {"output.L1.realpower", "output.realpower", "ups.realpower"}},
    {&TLogDataSetup::DataReadVinPhaseS, {"input.L2-N.voltage", nullptr, nullptr}},
    {&TLogDataSetup::DataReadVoutPhaseS, {"output.L2-N.voltage", nullptr, nullptr}},
    {&TLogDataSetup::DataReadPoutPhaseS, {"output.L2.realpower", nullptr, nullptr}},
    {&TLogDataSetup::DataReadVinPhaseT, {"input.L3-N.voltage", nullptr, nullptr}},
    {&TLogDataSetup::DataReadVoutPhaseT, {"output.L3-N.voltage", nullptr, nullptr}},
    {&TLogDataSetup::DataReadPoutPhaseT, {"output.L3.realpower", nullptr, nullptr}},
    {&TLogDataSetup::DataReadVbatt, {"battery.voltage", nullptr, nullptr}},
    {&TLogDataSetup::DataReadBattChg, {"battery.charge", nullptr, nullptr}},
    {&TLogDataSetup::DataReadAutTime, {"battery.runtime", nullptr, nullptr}},
};

std::string ColumnValue(const TDataColumn& column, const std::map<std::string, std::string>& vars) {
  for (const char* name : column.names) {
    if (name == nullptr) break;
    auto found = vars.find(name);
    if (found != vars.end()) return found->second;
  }
  return "";
}

}  // namespace

std::string DataLineSeparator(const TLogDataSetup& data) {
  return data.DataSeparator.empty() ? "," : data.DataSeparator;
}

std::string DataValues(const TLogDataSetup& data, const std::map<std::string, std::string>& vars) {
  const std::string separator = DataLineSeparator(data);
  std::string values;
  bool first = true;
  for (const TDataColumn& column : kColumns) {
    if (!(data.*column.flag)) continue;
    if (!first) values += separator;
    values += ColumnValue(column, vars);
    first = false;
  }
  return values;
}

TDataRecorder::TDataRecorder(const TSetupData& setup) : setup_(setup) {}

void TDataRecorder::Offer(const TUpsReading& reading, time_t now) {
  const TLogDataSetup& data = setup_.LogData;
  if (!data.DataEnabled) return;
  if (written_ && now >= last_ && now - last_ < static_cast<time_t>(data.DataRate)) return;
  written_ = true;
  last_ = now;
  AppendLogLineAt(setup_.InstallPath + "data/wk_data.txt", "", DataLineSeparator(data),
                  DataValues(data, reading.vars), data.DataMaxSize, true, now);
}
