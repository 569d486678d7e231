// A throw-away installation tree for the daemon's unit tests:
// "bin/voltmon.cfg" naming english.lng, and the empty directories bin/,
// languages/, data/ and script/system/, below a fresh temporary directory
// that is removed again.
#ifndef VOLTMON_TESTS_SUPPORT_TEST_TREE_H_
#define VOLTMON_TESTS_SUPPORT_TEST_TREE_H_

#include <string>

#include "tests/support/temp_dir.h"

class TTestTree {
 public:
  TTestTree() {
    for (const char* dir : {"bin", "languages", "data", "script/system"}) MakeDirs(Path(dir));
    Write("bin/voltmon.cfg", "[Globals]\nInstallPath=" + root_ + "\nLanguageFile=english.lng\n");
  }

  // The installation directory with trailing "/".
  const std::string& root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + relative; }

  void Write(const std::string& relative, const std::string& text) const {
    WriteFile(Path(relative), text);
  }
  std::string Read(const std::string& relative) const { return ReadFile(Path(relative)); }
  bool Exists(const std::string& relative) const { return FileExists(Path(relative)); }

 private:
  TTempDir temp_{"qslx_test"};
  std::string root_ = temp_.path() + "/";
};

#endif  // VOLTMON_TESTS_SUPPORT_TEST_TREE_H_
