// Plain text files written as a whole and atomically.
#ifndef VOLTMON_WKCFG_MODEL_TEXTFILE_H_
#define VOLTMON_WKCFG_MODEL_TEXTFILE_H_

#include <string>

// Replaces the file at `path` by `data`: a new file beside it, synced, then
// renamed over it, keeping an old file's owner and mode (a new file gets
// 0644); a symbolic link stays and its target is replaced. 0, or the system
// error number with the old file untouched and no temporary file left.
int ReplaceFile(const std::string& path, const std::string& data);

#endif  // VOLTMON_WKCFG_MODEL_TEXTFILE_H_
