// The decisions of the events screen, kept apart from the drawing: the lines
// it shows for the events and their jobs, which job a highlighted line
// stands for, what each command key does to the events, and the job
// dialog's fields, focus moves, checks and the job text it builds.
#ifndef VOLTMON_WKCFG_UI_EVENTS_VIEW_H_
#define VOLTMON_WKCFG_UI_EVENTS_VIEW_H_

#include <cstdint>
#include <string>
#include <vector>

#include "common/text.h"
#include "wkcfg/model/events.h"

// The commands of the events screen.
enum class TEventsCommand {
  kNone,
  kListEvents,  // S
  kInsert,      // I
  kEdit,        // E
  kDelete,      // D
  kMoveUp,      // P
  kMoveDown,    // N
  kSave,        // W
  kLoad,        // L
  kReset,       // R
  kLeave,       // ESC
};

// The command of a key, letters in either case; kNone for any other key.
TEventsCommand EventsCommandOfKey(int key);

// Position of the first line that equals `chosen` once trimmed of blanks
// (a list's choice comes back trimmed); -1 when none does.
int LinePosition(const TTextList& lines, const std::string& chosen);

// One line per event, in order: the event's name with its line breaks shown
// as blanks; empty for a code that is no number or does not fit the 8 bits
// of an event code.
TTextList EventNameLines(const TEvents& events, int32_t warning_time);

// One line per job of the event, in order: DescribeJob, or for a job whose
// action code is unknown "- " and the job's own text, so that every job has
// the line at its own position. Empty for an event out of range.
TTextList JobLinesOf(const TEvents& events, int event);

// The action index of the job's code; -1 for an unknown code, which no
// dialog can edit.
int JobEditAction(const std::string& job);

// The state of one visit of the events screen.
struct TEventsView {
  TTextList EventNamesList;
  int EventListWidth = 1;  // MaxItemWidth(EventNamesList) + 1
  int CurrentEvent = 0;
  TTextList JobLines;
  std::string ChosenLine;  // the line highlighted when the jobs list closed

  // Names and width rebuilt from the events, the first event current, its
  // jobs filled: on entry, after a load and after a reset.
  void Rebuild(const TEvents& events, int32_t warning_time);
  void FillJobLines(const TEvents& events);
  // The current event exists (false when there are no events at all).
  bool HasEvent(const TEvents& events) const;
  // The position of ChosenLine among the jobs of the current event, or -1.
  int ChosenPosition() const;
  // The event named `chosen` becomes current (the first of equal names)
  // and its jobs are filled; false, nothing changed, when none is.
  bool SelectEvent(const TEvents& events, const std::string& chosen);
};

// D, P or N applied to the highlighted job of the current event; the job
// lines are refilled when the events changed. Whether they changed; any
// other command, or no event or job to act on, changes nothing.
bool ApplyJobCommand(TEventsView* view, TEvents* events, TEventsCommand command);

// The ports a remote job may name.
constexpr int32_t kMinRemotePort = 1;
constexpr int32_t kMaxRemotePort = 65535;

// How the job dialog treats an action.
enum class TJobDialogKind {
  kNone,          // $MSLOG, or an index outside the action table: nothing
  kNoParameters,  // $POPUP, $LOG, $SHUTDOWN: rebuilt without a dialog
  kFields,        // the others: a dialog with one or two fields
};
TJobDialogKind JobDialogKindOf(int action);

// One field of the job dialog.
struct TJobField {
  std::string label;
  bool port;  // numbers only, 1-65535
};
// The fields of the action's dialog: address and port for the remote
// actions, the path for "$L_SHELL", the recipient for "$EMAIL"; none for
// the others.
std::vector<TJobField> JobDialogFields(int action);

// The job text of the action with its parameters: "$POPUP" gets "*", the
// actions without parameters their code alone.
std::string BuildJob(int action, const TTextList& parameters);

// A parameter holding one of the job separators "," and "|" would change
// the job on the next reading: it cannot be stored.
bool StorableParameter(const std::string& text);

// The fields, values and focus of an open job dialog. The focus rows are
// the fields, then OK, then Cancel.
struct TJobForm {
  int action = -1;
  std::vector<TJobField> fields;
  TTextList values;  // one per field
  int focus = 0;

  // The form of the action: a new job starts with an empty first value and
  // the port 6005, an edited one with the job's own parameters.
  static TJobForm For(int action, const std::string& job, bool is_new);
  int RowCount() const { return static_cast<int>(fields.size()) + 2; }
  int OkRow() const { return static_cast<int>(fields.size()); }
  int CancelRow() const { return OkRow() + 1; }
};

// What a key returned by the focused row does.
enum class TJobFormStep {
  kOpen,        // the dialog goes on (focus possibly moved)
  kBadPort,     // the typed port was refused; the focus stays
  kBadText,     // the typed text holds a separator; the focus stays
  kEmptyFirst,  // OK with an empty first parameter; the focus goes to field 0
  kAccepted,    // OK: build and store the job
  kCancelled,   // Cancel or ESC
};
// Acts on `key` returned by the focused row; `typed` is what a field
// returned with ENTER. ENTER on a field stores it and moves down, arrows
// move the focus round the rows.
TJobFormStep JobFormKey(TJobForm* form, int key, const std::string& typed);

#endif  // VOLTMON_WKCFG_UI_EVENTS_VIEW_H_
