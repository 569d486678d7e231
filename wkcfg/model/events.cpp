// The events model: every element enters in the form the files give back, so
// a save and a reload always return the same events, and the number of
// events stays within what the 8-bit count of "bin/wksrv.cfg" can carry.
#include "wkcfg/model/events.h"

#include <errno.h>

#include <algorithm>
#include <map>
#include <utility>

#include "common/files.h"
#include "common/ini.h"
#include "common/lang.h"
#include "common/orders.h"

const char* const kActionCodes[kActionCount] = {"$POPUP",
                                                "$LOG",
                                                "$SHUTDOWN",
                                                kOrders[0].action_code,
                                                kOrders[1].action_code,
                                                kOrders[2].action_code,
                                                kOrders[3].action_code,
                                                kOrders[4].action_code,
                                                "$L_SHELL",
                                                "$EMAIL",
                                                "$MSLOG"};

namespace {

// The remote actions sit in command order after the three first local ones.
constexpr bool OrdersFollowTheLocalActions() {
  for (int i = 0; i < kOrderCount; ++i) {
    if (kOrders[i].action_index != kShutdownAction + 1 + i) return false;
  }
  return kShutdownAction + 1 + kOrderCount <= kActionCount;
}
static_assert(OrdersFollowTheLocalActions(), "kActionCodes places the orders by their index");

constexpr int kWarningTimeEvent = 11;

// The action index of `code`, or -1.
int FindAction(const std::string& code) {
  for (int i = 0; i < kActionCount; ++i) {
    if (code == kActionCodes[i]) return i;
  }
  return -1;
}

// By ASCII only, as the INI reader compares keys.
char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string WithoutLineBreaks(std::string text) {
  text.erase(
      std::remove_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }),
      text.end());
  return text;
}

// An element as it reads back: trimmed of blanks and control characters.
std::string CleanElement(const std::string& text) {
  return TrimControls(WithoutLineBreaks(text));
}

TTextList SplitJob(const std::string& job) {
  TTextList parts;
  SplitToList(',', job, &parts, true);
  return parts;
}

}  // namespace

int32_t NumberedKey(const std::string& key, const std::string& prefix) {
  if (key.size() <= prefix.size()) return -1;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (LowerAscii(key[i]) != LowerAscii(prefix[i])) return -1;
  }
  std::string digits = key.substr(prefix.size());
  int32_t n = 0;
  if (digits[0] < '0' || digits[0] > '9' || !ParseInt32(digits, &n)) return -1;
  if (digits.size() > 1 && digits[0] == '0') return -1;
  return n;
}

bool IsRemoteAction(int action) {
  return FindOrderByActionIndex(action) != nullptr;
}

int ActionIndex(const std::string& code) {
  int action = FindAction(code);
  return action < 0 ? kShutdownAction : action;
}

std::string JobParameter(const std::string& job, int number) {
  TTextList parts = SplitJob(job);
  size_t index = static_cast<size_t>(number) + 1;
  return number >= 0 && index < parts.size() ? parts[index] : "";
}

std::string DescribeJob(const std::string& job) {
  TTextList parts = SplitJob(job);
  int action = FindAction(parts.empty() ? "" : parts[0]);
  if (action < 0) return "";
  std::string line = "- " + LangText(std::to_string(action), "ACTIONS");
  if (IsRemoteAction(action)) {
    line += " (" + JobParameter(job, 0) + " : " + JobParameter(job, 1) + ")";
  } else if (action == 8 || action == 9) {
    line += " (" + JobParameter(job, 0) + ")";
  }
  return line;
}

bool IsStorableJob(const std::string& job) {
  return !TrimControls(job).empty() && job.find_first_of("|\r\n") == std::string::npos;
}

bool TEvents::AddEventLine(const std::string& line) {
  TEventJobs elements;
  SplitToList('|', line, &elements, true);
  for (std::string& element : elements) element = CleanElement(element);
  // An empty last job cannot be written: the reader drops an empty last
  // field. Neither can an event that is nothing but an empty code.
  while (elements.size() > 1 && elements.back().empty()) elements.pop_back();
  if (elements.empty() || (elements.size() == 1 && elements[0].empty())) return true;
  if (Full()) return false;
  lists_.push_back(std::move(elements));
  return true;
}

int TEvents::FindEventByCode(int32_t code) const {
  for (size_t i = 0; i < lists_.size(); ++i) {
    if (lists_[i].empty()) continue;
    int32_t value = -1;
    if (!ParseInt32(lists_[i][0], &value)) value = -1;
    if (value == code) return static_cast<int>(i);
  }
  return -1;
}

std::string TEvents::EventName(uint8_t code, int32_t warning_time) const {
  int event = FindEventByCode(code);
  if (event < 0) return "";
  std::string text = LangText(lists_[event][0], "EVENTS");
  if (code == kWarningTimeEvent) return ReplaceParam(text, std::to_string(warning_time / 60));
  return text;
}

std::string TEvents::EventLine(int event) const {
  if (event < 0 || event >= Count()) return "";
  return JoinList(lists_[event], '|');
}

int TEvents::JobCount(int event) const {
  if (event < 0 || event >= Count()) return 0;
  return static_cast<int>(lists_[event].size()) - 1;
}

bool TEvents::ValidJob(int event, int position) const {
  return position >= 0 && position < JobCount(event);
}

std::string TEvents::Job(int event, int position) const {
  return ValidJob(event, position) ? lists_[event][position + 1] : "";
}

int TEvents::ActionIndexOfJob(int event, int position) const {
  if (!ValidJob(event, position)) return -1;
  TTextList parts = SplitJob(Job(event, position));
  return ActionIndex(parts.empty() ? "" : parts[0]);
}

bool TEvents::MoveJobUp(int event, int position) {
  if (position <= 0 || !ValidJob(event, position)) return false;
  std::swap(lists_[event][position], lists_[event][position + 1]);
  return true;
}

bool TEvents::MoveJobDown(int event, int position, int last) {
  if (position >= last || !ValidJob(event, position) || !ValidJob(event, position + 1)) {
    return false;
  }
  std::swap(lists_[event][position + 1], lists_[event][position + 2]);
  return true;
}

bool TEvents::DeleteJob(int event, int position) {
  if (!ValidJob(event, position)) return false;
  lists_[event].erase(lists_[event].begin() + position + 1);
  return true;
}

bool TEvents::AppendJob(int event, const std::string& job) {
  if (event < 0 || event >= Count() || !IsStorableJob(job)) return false;
  TEventJobs& list = lists_[event];
  const bool before_shutdown = list.size() > 1 && list.back() == kActionCodes[kShutdownAction];
  list.push_back(TrimControls(job));
  if (before_shutdown) std::swap(list[list.size() - 2], list[list.size() - 1]);
  return true;
}

bool TEvents::ReplaceJob(int event, int position, const std::string& job) {
  if (!ValidJob(event, position) || !IsStorableJob(job)) return false;
  lists_[event][position + 1] = TrimControls(job);
  return true;
}

void TEvents::LoadDefaultEvents(const std::string& path, const std::string& section) {
  TIniDocument doc;
  if (LoadIniFile(path, &doc) != 0) return;
  int32_t count = 0;
  if (!ParseInt32(doc.Get(section, "EvCounter").value_or(""), &count)) return;
  // The keys "Ev" + n below the count, in the order of n: the result of
  // reading them one by one, without walking a huge count key by key.
  TTextList lines;
  doc.SectionLines(section, &lines);
  std::map<int32_t, std::string> numbered;
  for (const std::string& entry : lines) {
    size_t eq = entry.find('=');
    if (eq == std::string::npos) continue;
    int32_t n = NumberedKey(entry.substr(0, eq), "Ev");
    if (n >= 0 && n < count) numbered.emplace(n, entry.substr(eq + 1));
  }
  for (const auto& [n, line] : numbered) {
    if (!AddEventLine(line)) return;
  }
}

int TEvents::SaveEventsFile(const std::string& path) const {
  std::string data;
  for (int i = 0; i < Count(); ++i) data += EventLine(i) + "\n";
  return ReplaceFile(path, data, TLinkAtName::kRefuse);
}

int TEvents::LoadEventsFile(const std::string& path) {
  std::string contents;
  int error = ReadWholeFile(path, &contents);
  if (error != 0) return error;
  for (const std::string& line : SplitLines(contents)) {
    if (!AddEventLine(line)) return EFBIG;
  }
  return 0;
}
