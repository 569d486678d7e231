// Language texts of the running program. The file path is process-wide: set
// once at start-up, before any thread runs, and only read afterwards. The
// parsed file is kept while its identity, size and times stay the same: the
// daemon looks a text up for every event line and the console for every
// label, and reading the file anew each time was most of their work. Any
// change of the file (an edit, a replacement, its removal) is seen at the
// next lookup.
#include "common/lang.h"

#include <sys/stat.h>

#include <mutex>

#include "common/ini.h"

namespace {

struct TFileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  timespec modified = {0, 0};
  timespec changed = {0, 0};

  bool operator==(const TFileStamp& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
           changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
  }
};

struct TLanguageCache {
  std::mutex mutex;
  bool valid = false;
  std::string path;
  TFileStamp stamp;
  TIniDocument doc;
};

TLanguageCache& Cache() {
  static TLanguageCache cache;
  return cache;
}

bool StampOf(const std::string& path, TFileStamp* stamp) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  stamp->device = info.st_dev;
  stamp->inode = info.st_ino;
  stamp->size = info.st_size;
  stamp->modified = info.st_mtim;
  stamp->changed = info.st_ctim;
  return true;
}

std::string& LanguagePath() {
  static std::string path;
  return path;
}

void ReplaceFirstDollar(std::string* text, const std::string& value) {
  size_t pos = text->find('$');
  if (pos != std::string::npos) text->replace(pos, 1, value);
}

}  // namespace

void SetLanguageFilePath(const std::string& path) {
  LanguagePath() = path;
}

const std::string& LanguageFilePath() {
  return LanguagePath();
}

std::string LangText(const std::string& key, const std::string& section) {
  const std::string& path = LanguagePath();
  TLanguageCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  TFileStamp stamp;
  // A file that cannot be examined is read the plain way, and nothing kept.
  if (!StampOf(path, &stamp)) {
    cache.valid = false;
    return ReadIniValue(path, section, key).value_or("");
  }
  if (!cache.valid || cache.path != path || !(cache.stamp == stamp)) {
    cache.valid = false;
    if (LoadIniFile(path, &cache.doc) != 0) return "";
    cache.path = path;
    cache.stamp = stamp;
    cache.valid = true;
  }
  return cache.doc.Get(section, key).value_or("");
}

std::string ExpandText(const std::string& text) {
  std::string result = text;
  for (char& c : result) {
    if (c == '^') c = '\r';
  }
  return result;
}

std::string ReplaceParam(const std::string& text, const std::string& value) {
  std::string result = ExpandText(text);
  ReplaceFirstDollar(&result, value);
  return result;
}

std::string ReplaceParams(const std::string& text, const TTextList& values) {
  std::string result = ExpandText(text);
  for (const std::string& value : values) ReplaceFirstDollar(&result, value);
  return result;
}
