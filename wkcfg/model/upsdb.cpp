// The model database. A selection decodes the whole line into a fresh set of
// capabilities before anything is applied, so a damaged line can never leave
// the record half switched to another model.
#include "wkcfg/model/upsdb.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>

#include <limits>

#include "common/files.h"
#include "common/scramble.h"

namespace {

// Fields 29-40 in order, each with the data flag it governs.
struct TCapabilityFlag {
  bool TUpsCapabilities::*Can;
  bool TLogDataSetup::*Flag;
};
const TCapabilityFlag kCapabilityFlags[] = {
    {&TUpsCapabilities::CanVinPhaseR, &TLogDataSetup::DataReadVinPhaseR},
    {&TUpsCapabilities::CanVinPhaseS, &TLogDataSetup::DataReadVinPhaseS},
    {&TUpsCapabilities::CanVinPhaseT, &TLogDataSetup::DataReadVinPhaseT},
    {&TUpsCapabilities::CanVoutPhaseR, &TLogDataSetup::DataReadVoutPhaseR},
    {&TUpsCapabilities::CanVoutPhaseS, &TLogDataSetup::DataReadVoutPhaseS},
    {&TUpsCapabilities::CanVoutPhaseT, &TLogDataSetup::DataReadVoutPhaseT},
    {&TUpsCapabilities::CanPoutPhaseR, &TLogDataSetup::DataReadPoutPhaseR},
    {&TUpsCapabilities::CanPoutPhaseS, &TLogDataSetup::DataReadPoutPhaseS},
    {&TUpsCapabilities::CanPoutPhaseT, &TLogDataSetup::DataReadPoutPhaseT},
    {&TUpsCapabilities::CanVbatt, &TLogDataSetup::DataReadVbatt},
    {&TUpsCapabilities::CanBattChg, &TLogDataSetup::DataReadBattChg},
    {&TUpsCapabilities::CanAutTime, &TLogDataSetup::DataReadAutTime},
};
constexpr int kFirstCapabilityField = 29;
// The flags a new selection switches on before the model's own say: all but
// battery charge and autonomy time, which are not shown on any screen.
constexpr int kShownDataFlags = 10;

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(const std::string& text, const char* word) {
  std::string lower;
  for (char c : text) lower += LowerAscii(c);
  return lower == word;
}

// The decoded line and the facts read from it.
struct TModelLine {
  std::string name;
  int32_t protocol_id = 0;
  int32_t recharge_seconds = 0;
  TUpsCapabilities caps;
};

class TFieldReader {
 public:
  explicit TFieldReader(const TTextList& fields) : fields_(fields) {}
  bool Integer(int index, int32_t* value) const { return ParseInt32(Field(index), value); }
  template <typename T>
  bool Narrow(int index, T* value) const {
    int32_t number = 0;
    if (!Integer(index, &number)) return false;
    *value = static_cast<T>(static_cast<uint32_t>(number));
    return true;
  }
  bool Boolean(int index, bool* value) const { return ParseModelBoolean(Field(index), value); }
  std::string Field(int index) const { return TrimControls(fields_[index]); }

 private:
  const TTextList& fields_;
};

// The fields a selection reads, stopping at the first that does not
// convert. The recharge time is read only for a new selection, as only that
// one uses it.
bool DecodeModelLine(const std::string& line, bool is_new, TModelLine* model) {
  TTextList fields;
  SplitToList('|', line, &fields, true);
  if (fields.size() != kModelFieldCount) return false;
  TFieldReader read(fields);
  TUpsCapabilities& caps = model->caps;
  model->name = read.Field(0);
  if (is_new) {
    int32_t hours = 0;
    if (!read.Integer(14, &hours)) return false;
    // Hours whose seconds do not fit the field are no valid recharge time.
    constexpr int32_t kMaxHours = std::numeric_limits<int32_t>::max() / 3600;
    if (hours > kMaxHours || hours < -kMaxHours) return false;
    model->recharge_seconds = hours * 3600;
  }
  if (!read.Integer(4, &model->protocol_id)) return false;
  if (!read.Narrow(16, &caps.UpsOffMode) || !read.Narrow(17, &caps.UpsOffDelayMin) ||
      !read.Narrow(18, &caps.UpsOffDelayMax) || !read.Narrow(19, &caps.UpsOnMode) ||
      !read.Narrow(20, &caps.UpsOnDelayMin) || !read.Narrow(21, &caps.UpsOnDelayMax) ||
      !read.Narrow(22, &caps.UpsOnDelayStep) || !read.Boolean(7, &caps.Flag7) ||
      !read.Boolean(5, &caps.Flag5) || !read.Boolean(8, &caps.Flag8) ||
      !read.Boolean(24, &caps.CalibrationTest) || !read.Boolean(23, &caps.SmartAutonomy)) {
    return false;
  }
  caps.EventSection = read.Field(26);
  int field = kFirstCapabilityField;
  for (const TCapabilityFlag& pair : kCapabilityFlags) {
    if (!read.Boolean(field++, &(caps.*pair.Can))) return false;
  }
  return true;
}

}  // namespace

bool ParseModelBoolean(const std::string& text, bool* value) {
  int32_t number = 0;
  if (ParseInt32(text, &number)) {
    *value = number != 0;
  } else if (EqualsNoCase(text, "true")) {
    *value = true;
  } else if (EqualsNoCase(text, "false")) {
    *value = false;
  } else {
    return false;
  }
  return true;
}

TModelLines::TModelLines(std::initializer_list<std::string> lines)
    : spans_(lines.size()), count_(lines.size()) {
  size_t i = 0;
  for (const std::string& line : lines) clear_.emplace(i++, line);
}

void TModelLines::AssignScrambled(std::string text, bool drop_cut_last) {
  path_.clear();
  raw_ = std::move(text);
  clear_.clear();
  Split(drop_cut_last);
}

void TModelLines::Split(bool drop_cut_last) const {
  spans_.clear();
  const char* const data = raw_.data();
  const size_t size = raw_.size();
  size_t start = 0;
  while (start < size) {
    const void* found = memchr(data + start, '\n', size - start);
    size_t end =
        found == nullptr ? size : static_cast<size_t>(static_cast<const char*>(found) - data);
    if (found == nullptr && drop_cut_last) break;
    const size_t next = end + 1;
    if (end > start && data[end - 1] == '\r') --end;
    spans_.emplace_back(start, end - start);
    start = next;
  }
  count_ = spans_.size();
}

int TModelLines::Load(const std::string& path) {
  // The shipped database fits in far less; a large one costs a copy of what
  // the page cache holds here instead of fresh memory for all of it.
  constexpr size_t kHeldBytes = 64 * 1024;
  AssignScrambled(std::string(), false);
  const int fd = OpenRegularFile(path, kModelDatabaseLimit);
  if (fd < 0) return errno;
  std::vector<char> chunk(kHeldBytes);
  size_t total = 0;
  size_t line_feeds = 0;
  size_t last_line_feed = 0;  // the bytes up to and with the last line feed
  int error = 0;
  for (;;) {
    ssize_t n = read(fd, chunk.data(), chunk.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    if (n == 0) break;
    // A file that grew past the bound since it was opened.
    if (total + static_cast<size_t>(n) > static_cast<size_t>(kModelDatabaseLimit)) {
      error = kErrorFileTooLarge;
      break;
    }
    const char* const data = chunk.data();
    const size_t got = static_cast<size_t>(n);
    for (size_t at = 0; at < got; ++at) {
      const void* found = memchr(data + at, '\n', got - at);
      if (found == nullptr) break;
      at = static_cast<size_t>(static_cast<const char*>(found) - data);
      ++line_feeds;
      last_line_feed = total + at + 1;
    }
    if (raw_.size() < kHeldBytes) raw_.append(data, got);
    total += got;
  }
  // A read-only descriptor has nothing left to lose on close.
  close(fd);
  if (error != 0) {
    // Of the lines before the failure, the whole ones held are kept.
    raw_.resize(std::min(raw_.size(), last_line_feed));
    Split(true);
    return error;
  }
  const bool whole = raw_.size() == total;
  Split(!whole);
  if (!whole) {
    path_ = path;
    count_ = line_feeds + (total > last_line_feed ? 1 : 0);
  }
  return 0;
}

bool TModelLines::Hold(size_t i) const {
  if (i < spans_.size()) return true;
  if (path_.empty() || i >= count_) return false;
  // The lines held are read again with the rest, their descrambled forms
  // staying as they were, by index; a file gone or unreadable by now leaves
  // the lines held.
  std::string all;
  const int error = ReadWholeFile(path_, &all, kModelDatabaseLimit);
  path_.clear();
  if (all.size() > raw_.size()) {
    raw_ = std::move(all);
    Split(error != 0);
  }
  count_ = std::min(count_, spans_.size());
  spans_.resize(count_);
  return i < spans_.size();
}

const std::string& TModelLines::operator[](size_t i) const {
  auto known = clear_.find(i);
  if (known != clear_.end()) return known->second;
  static const std::string kNone;
  if (!Hold(i)) return kNone;
  return clear_
      .emplace(i, DescrambleUntil(raw_.data() + spans_[i].first, spans_[i].second, -1, nullptr))
      .first->second;
}

std::string TModelLines::Head(size_t i, bool* has_bar) const {
  auto known = clear_.find(i);
  if (known != clear_.end()) {
    const size_t bar = known->second.find('|');
    *has_bar = bar != std::string::npos;
    return known->second.substr(0, bar);
  }
  *has_bar = false;
  if (!Hold(i)) return std::string();
  return DescrambleUntil(raw_.data() + spans_[i].first, spans_[i].second, '|', has_bar);
}

int LoadUpsDatabase(TUpsDatabase* db, const std::string& path) {
  return db->Models.Load(path);
}

TTextList ModelNames(const TUpsDatabase& db) {
  TTextList names;
  for (size_t i = 0; i < db.Models.size(); ++i) {
    bool has_bar = false;
    const std::string name = TrimControls(db.Models.Head(i, &has_bar));
    // A line with a "|" is never blank.
    if (!has_bar && name.empty()) continue;
    names.push_back(name);
  }
  return names;
}

int FindModel(const TUpsDatabase& db, const std::string& name) {
  for (size_t i = 0; i < db.Models.size(); ++i) {
    bool has_bar = false;
    const std::string head = db.Models.Head(i, &has_bar);
    if (has_bar && TrimControls(head) == name) return static_cast<int>(i);
  }
  return -1;
}

int SelectModel(TUpsDatabase* db, TSetupData* setup, int index, bool is_new) {
  if (index < 0 || static_cast<size_t>(index) >= db->Models.size()) return kErrorBadModel;
  TModelLine model;
  if (!DecodeModelLine(db->Models[index], is_new, &model)) return kErrorBadModel;

  TLogDataSetup& data = setup->LogData;
  if (is_new) {
    for (int i = 0; i < kShownDataFlags; ++i) data.*kCapabilityFlags[i].Flag = true;
    setup->Ups.UpsModelName = model.name;
    setup->Ups.UpsRechargeTime = model.recharge_seconds;
  }
  setup->Ups.Protocol.ProtocolId = model.protocol_id;
  static_cast<TUpsCapabilities&>(*db) = model.caps;
  for (const TCapabilityFlag& pair : kCapabilityFlags) {
    if (!(db->*pair.Can)) data.*pair.Flag = false;
  }
  return 0;
}

void ApplyModelCapabilities(const TUpsDatabase& db, TSetupData* setup, bool is_new) {
  TUpsSetup& ups = setup->Ups;
  if (!db.SmartAutonomy) {
    ups.UpsSmartAutonomy = false;
  } else if (is_new) {
    ups.UpsSmartAutonomy = true;
  }
  if (db.UpsOffMode == 0) ups.UpsOffEnabled = false;
  if (db.UpsOffMode == 2) ups.UpsOffEnabled = true;
  if (db.UpsOnMode == 0) ups.UpsOnEnabled = false;
  if (db.UpsOnMode == 2) ups.UpsOnEnabled = true;
}
