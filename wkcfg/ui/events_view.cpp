// The events screen's decisions. Jobs are found by their lines, as the
// screen's list gives back only the highlighted text; every job therefore
// gets a line of its own, and equal lines resolve to the first job.
#include "wkcfg/ui/events_view.h"

#include <algorithm>
#include <cctype>

#include "common/text.h"
#include "tui/ctrls.h"
#include "tui/terminal.h"

namespace {

constexpr int kMaxEventCode = 255;
constexpr int kPopupAction = 0;
constexpr int kLastAction = kActionCount - 1;  // "$MSLOG"

std::string ActionCodeOf(const std::string& job) {
  TTextList parts;
  SplitToList(',', job, &parts, true);
  return parts.empty() ? std::string() : parts[0];
}

// Line breaks of a language text shown on one line.
std::string OnOneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

}  // namespace

TEventsCommand EventsCommandOfKey(int key) {
  if (key == kKeyEsc) return TEventsCommand::kLeave;
  if (key < 0 || key > 255) return TEventsCommand::kNone;
  switch (std::toupper(key)) {
    case 'S':
      return TEventsCommand::kListEvents;
    case 'I':
      return TEventsCommand::kInsert;
    case 'E':
      return TEventsCommand::kEdit;
    case 'D':
      return TEventsCommand::kDelete;
    case 'P':
      return TEventsCommand::kMoveUp;
    case 'N':
      return TEventsCommand::kMoveDown;
    case 'W':
      return TEventsCommand::kSave;
    case 'L':
      return TEventsCommand::kLoad;
    case 'R':
      return TEventsCommand::kReset;
    default:
      return TEventsCommand::kNone;
  }
}

int LinePosition(const TTextList& lines, const std::string& chosen) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (TrimBlanks(lines[i]) == chosen) return static_cast<int>(i);
  }
  return -1;
}

TTextList EventNameLines(const TEvents& events, int32_t warning_time) {
  TTextList names;
  for (const TEventJobs& list : events.Lists()) {
    int32_t code = -1;
    const bool named =
        !list.empty() && ParseInt32(list[0], &code) && code >= 0 && code <= kMaxEventCode;
    names.push_back(named ? OnOneLine(events.EventName(static_cast<uint8_t>(code), warning_time))
                          : std::string());
  }
  return names;
}

TTextList JobLinesOf(const TEvents& events, int event) {
  TTextList lines;
  for (int p = 0; p < events.JobCount(event); ++p) {
    const std::string job = events.Job(event, p);
    const std::string line = DescribeJob(job);
    lines.push_back(line.empty() ? "- " + job : line);
  }
  return lines;
}

int JobEditAction(const std::string& job) {
  const std::string code = ActionCodeOf(job);
  for (int i = 0; i < kActionCount; ++i) {
    if (code == kActionCodes[i]) return i;
  }
  return -1;
}

void TEventsView::Rebuild(const TEvents& events, int32_t warning_time) {
  EventNamesList = EventNameLines(events, warning_time);
  EventListWidth = MaxItemWidth(EventNamesList) + 1;
  CurrentEvent = 0;
  FillJobLines(events);
}

void TEventsView::FillJobLines(const TEvents& events) {
  JobLines = JobLinesOf(events, CurrentEvent);
}

bool TEventsView::HasEvent(const TEvents& events) const {
  return CurrentEvent >= 0 && CurrentEvent < events.Count();
}

int TEventsView::ChosenPosition() const {
  return LinePosition(JobLines, ChosenLine);
}

bool TEventsView::SelectEvent(const TEvents& events, const std::string& chosen) {
  const int event = LinePosition(EventNamesList, chosen);
  if (event < 0 || event >= events.Count()) return false;
  CurrentEvent = event;
  FillJobLines(events);
  return true;
}

bool ApplyJobCommand(TEventsView* view, TEvents* events, TEventsCommand command) {
  if (!view->HasEvent(*events)) return false;
  const int event = view->CurrentEvent;
  const int position = view->ChosenPosition();
  if (position < 0) return false;
  bool changed = false;
  switch (command) {
    case TEventsCommand::kDelete:
      changed = events->DeleteJob(event, position);
      break;
    case TEventsCommand::kMoveUp:
      changed = events->MoveJobUp(event, position);
      break;
    case TEventsCommand::kMoveDown:
      changed = events->MoveJobDown(event, position, static_cast<int>(view->JobLines.size()) - 1);
      break;
    default:
      break;
  }
  if (changed) view->FillJobLines(*events);
  return changed;
}

TJobDialogKind JobDialogKindOf(int action) {
  if (action < 0 || action >= kLastAction) return TJobDialogKind::kNone;
  if (action <= kShutdownAction) return TJobDialogKind::kNoParameters;
  return TJobDialogKind::kFields;
}

std::vector<TJobField> JobDialogFields(int action) {
  if (IsRemoteAction(action)) {
    return {{"Computer TCP/IP address:", false},
            {"TCP/IP port [def. " + std::to_string(kDefaultRemotePort) + "]:", true}};
  }
  if (action == 8) return {{"File path and name:", false}};
  if (action == 9) return {{"Recipient address:", false}};
  return {};
}

std::string BuildJob(int action, const TTextList& parameters) {
  if (action < 0 || action >= kActionCount) return "";
  TTextList parts{kActionCodes[action]};
  if (action == kPopupAction) {
    parts.push_back("*");
  } else {
    const size_t count = JobDialogFields(action).size();
    for (size_t i = 0; i < count; ++i) {
      parts.push_back(i < parameters.size() ? parameters[i] : std::string());
    }
  }
  return JoinList(parts, ',');
}

bool StorableParameter(const std::string& text) {
  return text.find_first_of(",|") == std::string::npos;
}

TJobForm TJobForm::For(int action, const std::string& job, bool is_new) {
  TJobForm form;
  form.action = action;
  form.fields = JobDialogFields(action);
  for (size_t i = 0; i < form.fields.size(); ++i) {
    if (is_new) {
      form.values.push_back(form.fields[i].port ? std::to_string(kDefaultRemotePort) : "");
    } else {
      form.values.push_back(JobParameter(job, static_cast<int>(i)));
    }
  }
  return form;
}

TJobFormStep JobFormKey(TJobForm* form, int key, const std::string& typed) {
  const int rows = form->RowCount();
  if (key == kKeyEsc) return TJobFormStep::kCancelled;
  if (key == kKeyDown) {
    form->focus = (form->focus + 1) % rows;
    return TJobFormStep::kOpen;
  }
  if (key == kKeyUp) {
    form->focus = (form->focus + rows - 1) % rows;
    return TJobFormStep::kOpen;
  }
  if (key != kKeyEnter) return TJobFormStep::kOpen;
  if (form->focus == form->CancelRow()) return TJobFormStep::kCancelled;
  if (form->focus == form->OkRow()) {
    if (!form->values.empty() && !TrimBlanks(form->values[0]).empty()) {
      return TJobFormStep::kAccepted;
    }
    form->focus = 0;
    return TJobFormStep::kEmptyFirst;
  }
  const TJobField& field = form->fields[form->focus];
  if (field.port && TextToIntInRange(typed, kMinRemotePort, kMaxRemotePort) == -1) {
    return TJobFormStep::kBadPort;
  }
  if (!StorableParameter(typed)) return TJobFormStep::kBadText;
  form->values[form->focus] = typed;
  ++form->focus;
  return TJobFormStep::kOpen;
}
