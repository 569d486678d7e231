// The file routines shared by the programs: the one bounded reader of every
// file the suite reads, whole-file writes, the atomic replacement of a file,
// existence and size. Each retries EINTR itself, unless a signal that ends
// the program arrived (NoteEndSignal).
#ifndef VOLTMON_COMMON_FILES_H_
#define VOLTMON_COMMON_FILES_H_

#include <cstdint>
#include <string>

// The most a settings, events or language file may hold; real ones hold a
// few kilobytes.
constexpr int64_t kSettingsFileLimit = int64_t{16} << 20;
// The most the UPS model database may hold (a 20,000-model one is 4 MiB).
constexpr int64_t kModelDatabaseLimit = int64_t{128} << 20;

// The suite's own error numbers beside the system's, for files it refuses.
constexpr int kErrorNotRegularFile = 200001;  // a pipe, a device or a socket
constexpr int kErrorFileTooLarge = 200002;    // past the reader's bound
constexpr int kErrorSymbolicLink = 200003;    // a link where none may be followed
constexpr int kErrorDanglingLink = 200004;    // a link to a file that does not exist

// The text of an error number: the suite's own for the numbers above, the
// system's otherwise.
std::string FileErrorText(int error);

// Records that a signal ending the program (SIGTERM, SIGINT, SIGHUP)
// arrived; async-signal-safe, for those signals' handlers. From then on a
// call here that a signal interrupts is given up with EINTR, not retried.
void NoteEndSignal();

// Opens `path` for reading without ever waiting on a pipe or a device, and
// only when it is a regular file of at most `limit` bytes: the descriptor
// (blocking, close-on-exec), or -1 with errno EISDIR, kErrorNotRegularFile,
// kErrorFileTooLarge or the system's number.
int OpenRegularFile(const std::string& path, int64_t limit);

// Reads the whole file at `path` into `contents`, through OpenRegularFile
// with `limit`. 0 on success, otherwise the error number; `contents` then
// holds what was read before a failing read, nothing after a refusal.
int ReadWholeFile(const std::string& path, std::string* contents,
                  int64_t limit = kSettingsFileLimit);

// Writes all of `data` to `fd`, retrying on EINTR and short writes. 0, or
// the error number of the write that failed.
int WriteAll(int fd, const std::string& data);

// True when something (file or directory) exists at `path`.
bool PathExists(const std::string& path);

// The size in bytes; 0 when the file does not exist; -1 when it exists but
// cannot be opened or measured.
int64_t GetFileSize(const std::string& path);

// What ReplaceFile does with a symbolic link at the name.
enum class TLinkAtName {
  kReplaceTarget,  // the link stays and the file it names is replaced
  kRefuse,         // kErrorSymbolicLink; the name is never followed
};

// Replaces the file at `path` by `data`: a new file beside it, synced, then
// renamed over it, keeping an old file's owner and mode (a new file gets
// 0644). Temporary files of an earlier save of the same file that was killed
// halfway are removed first. Something there that is not a regular file is
// never written to (EISDIR, kErrorNotRegularFile). When the rename is refused
// with EBUSY (the file is a mount point, as a bind-mounted file is), the data
// is written over the file in place once the temporary copy is complete and
// synced, and `*in_place` (when given) is set. 0, or the error number with
// the old file untouched and no temporary file left.
int ReplaceFile(const std::string& path, const std::string& data,
                TLinkAtName link = TLinkAtName::kReplaceTarget, bool* in_place = nullptr);

// open(2) with O_CLOEXEC and mode 0644 for a created file, retried on EINTR
// (see NoteEndSignal); the descriptor or -1.
int OpenRetrying(const std::string& path, int flags);

#endif  // VOLTMON_COMMON_FILES_H_
