// The suite's date and time formats and the size-capped log writer.
#ifndef VOLTMON_COMMON_LOG_H_
#define VOLTMON_COMMON_LOG_H_

#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

// The local date and time of `when` in the process-wide formats.
std::string DateText(time_t when);
std::string TimeText(time_t when);

// Appends one line time-stamped with `when`: "date time  message", or with
// `use_separator` date + separator + time + separator + message. A file that
// is missing, empty or at least `max_size` bytes is (deleted and) created
// anew with `header` first when not empty. False when nothing or not all was
// written. Not serialised: writers of one file from several threads use
// TSharedLog.
bool AppendLogLineAt(const std::string& path, const std::string& header,
                     const std::string& separator, const std::string& message, int64_t max_size,
                     bool use_separator, time_t when);

// One log file written from several threads. Each line is queued with the
// current time; whichever writer finds no other at work writes every queued
// line, one open and one write for all of them, while the others wait for
// theirs. So under a burst the file is opened once per batch rather than once
// per line, and no writer queues behind another's open and close.
class TSharedLog {
 public:
  // AppendLogLineAt's line and rules with the current time, serialised with
  // every other line of this log; returns once the line is written or lost.
  // False when it was lost.
  bool Append(const std::string& path, const std::string& header, const std::string& separator,
              const std::string& message, int64_t max_size, bool use_separator);

 private:
  struct TLine {
    std::string path;
    std::string header;
    int64_t max_size;
    std::string text;  // stamped, with its line break
    bool* written;     // its writer's answer, set before its ticket is done
  };

  // Writes `lines` in order as AppendLogLineAt would one by one, but with
  // one open and one write for each run of lines that go to the same file
  // while it stays below its limit; sets each line's `written`.
  static void WriteLines(const std::vector<TLine>& lines);

  std::mutex mutex_;
  std::condition_variable done_changed_;
  std::vector<TLine> pending_;
  uint64_t queued_ = 0;  // tickets handed out
  uint64_t done_ = 0;    // every ticket up to this one is written or lost
  bool busy_ = false;    // a writer is at work outside the lock
};

#endif  // VOLTMON_COMMON_LOG_H_
