// The suite's date and time formats and the size-capped log writer.
#ifndef VOLTMON_COMMON_LOG_H_
#define VOLTMON_COMMON_LOG_H_

#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>

// The local date and time of `when` in the process-wide formats.
std::string DateText(time_t when);
std::string TimeText(time_t when);

// Appends one line time-stamped with `when`: "date time  message", or with
// `use_separator` date + separator + time + separator + message. A file that
// is missing, empty or at least `max_size` bytes is (deleted and) created
// anew with `header` first when not empty. False when nothing or not all was
// written. Not serialised: writers of one file from several threads use
// AppendLogLineLocked.
bool AppendLogLineAt(const std::string& path, const std::string& header,
                     const std::string& separator, const std::string& message, int64_t max_size,
                     bool use_separator, time_t when);

// AppendLogLineAt with the current time, for writers of one file from several
// threads, serialised by `lock`: the file is opened before the lock is taken and closed after it is
// let go, and under it the open file is checked to still be the regular file
// at the path (not a link, neither empty nor full), else the line takes
// AppendLogLineAt's way, all of it under the lock.
bool AppendLogLineLocked(const std::string& path, const std::string& header,
                         const std::string& separator, const std::string& message, int64_t max_size,
                         bool use_separator, std::mutex* lock);

#endif  // VOLTMON_COMMON_LOG_H_
