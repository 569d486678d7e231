// The configured UPS events and their ordered jobs, their one text encoding
// (shared by "bin/wksrv.cfg", the user's events files and
// "bin/defevent.evn"), and the action table of the jobs.
//
// An event line is the event code and the jobs joined by "|"; a job is its
// action code and parameters joined by ",", such as 12|$POPUP,*|$SHUTDOWN.
#ifndef VOLTMON_WKCFG_MODEL_EVENTS_H_
#define VOLTMON_WKCFG_MODEL_EVENTS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "common/text.h"

// One event list (`EventJobs`): element 0 the event code as decimal text,
// elements 1.. the jobs in execution order.
using TEventJobs = TTextList;

// The action codes by action index (the keys of language section
// "ACTIONS"); kActionCount entries.
constexpr int kActionCount = 11;
extern const char* const kActionCodes[kActionCount];
constexpr int kShutdownAction = 2;
// The port a new remote job starts with.
constexpr int kDefaultRemotePort = 6005;

// The action index of `code`; 2 ("$SHUTDOWN") for an unknown code.
int ActionIndex(const std::string& code);
// Whether the action at index `action` gives an order to a slave (kOrders).
bool IsRemoteAction(int action);

// The job's display line: "- " + the action's text, then " (first)" for
// "$L_SHELL" and "$EMAIL" or " (first : second)" for the remote actions;
// the empty text for an unknown action code.
std::string DescribeJob(const std::string& job);

// The job's parameters (the parts after the action code); missing ones empty.
std::string JobParameter(const std::string& job, int number);

// The events of the selected model. At most kMaxEvents events are held, the
// number that survives the 8-bit count of "bin/wksrv.cfg". Every element is
// kept in the form that reads back from the files unchanged: trimmed of
// blanks and control characters, without line breaks.
class TEvents {
 public:
  static constexpr int kMaxEvents = 255;

  const std::vector<TEventJobs>& Lists() const { return lists_; }
  int Count() const { return static_cast<int>(lists_.size()); }
  bool Full() const { return Count() >= kMaxEvents; }

  // Appends the decoded line as a new event; a blank line adds nothing.
  // False when the line is not blank but the list is full.
  bool AddEventLine(const std::string& line);
  void ClearEvents() { lists_.clear(); }
  // Index of the first event whose code (element 0 as a decimal integer, -1
  // when it is none) equals `code`; -1 when there is none.
  int FindEventByCode(int32_t code) const;
  // LangText of the event's code in section "EVENTS"; for code 11 the first
  // "$" becomes `warning_time` div 60 (whole minutes). Empty when missing.
  std::string EventName(uint8_t code, int32_t warning_time) const;
  // The event's encoded line (element 0 and jobs joined by "|").
  std::string EventLine(int event) const;

  // Number of jobs of the event; 0 for an index out of range.
  int JobCount(int event) const;
  // The job at the position (0-based among the jobs); empty when none.
  std::string Job(int event, int position) const;
  // ActionIndex of the job's action code; -1 when there is no such job.
  int ActionIndexOfJob(int event, int position) const;
  // Exchange the job with the one before it; whether it moved.
  bool MoveJobUp(int event, int position);
  // Exchange the job with the one after it when position < last (the
  // position of the last job); whether it moved.
  bool MoveJobDown(int event, int position, int last);
  bool DeleteJob(int event, int position);
  // Appends the job; when the previous last job is exactly "$SHUTDOWN" the
  // new job goes just before it. False, nothing changed, for a job that
  // cannot be stored (see IsStorableJob) or an event out of range.
  bool AppendJob(int event, const std::string& job);
  bool ReplaceJob(int event, int position, const std::string& job);

  // The events of `section` of the default events file at `path`: "EvCounter"
  // and "Ev" + n. A missing file or section, or a count that is no number,
  // adds nothing.
  void LoadDefaultEvents(const std::string& path, const std::string& section);
  // Replaces the file by one event line per event, atomically, never
  // through a symbolic link at the name (ReplaceFile). 0 or the error number
  // (see FileErrorText), the old file then untouched.
  int SaveEventsFile(const std::string& path) const;
  // Appends one event per non-blank line, reading the file through the
  // bounded reader. 0, the error number (see FileErrorText; the events
  // unchanged), or EFBIG when the file held more events than fit:
  // the first ones up to kMaxEvents are then loaded.
  int LoadEventsFile(const std::string& path);

 private:
  bool ValidJob(int event, int position) const;
  std::vector<TEventJobs> lists_;
};

// n when `key` is `prefix` + n in decimal without padding, the prefix
// compared without regard to case (as INI keys are); -1 otherwise.
int32_t NumberedKey(const std::string& key, const std::string& prefix);

// A job can be stored when it is not blank and holds no "|" nor line break,
// which would change the event on the next reading.
bool IsStorableJob(const std::string& job);

#endif  // VOLTMON_WKCFG_MODEL_EVENTS_H_
