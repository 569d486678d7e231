// A throw-away installation tree for the daemon's tests: "bin/voltmon.cfg",
// a language file, "bin/qslx.cfg" and "data/", below a fresh temporary
// directory that is removed again.
#ifndef VOLTMON_QSLX_TEST_TREE_H_
#define VOLTMON_QSLX_TEST_TREE_H_

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

class TestTree {
 public:
  TestTree() {
    char pattern[] = "/tmp/qslx_test_XXXXXX";
    const char* made = mkdtemp(pattern);
    root_ = made != nullptr ? std::string(made) + "/" : "/tmp/";
    for (const char* dir : {"bin", "languages", "data", "script", "script/system"}) {
      mkdir((root_ + dir).c_str(), 0755);
    }
    Write("bin/voltmon.cfg", "[Globals]\nInstallPath=" + root_ + "\nLanguageFile=english.lng\n");
  }
  ~TestTree() {
    std::string command = "rm -rf '" + root_ + "'";
    if (root_.size() > 5) (void)!system(command.c_str());
  }

  const std::string& root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + relative; }

  void Write(const std::string& relative, const std::string& text) const {
    std::ofstream(Path(relative), std::ios::binary | std::ios::trunc) << text;
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(Path(relative), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  bool Exists(const std::string& relative) const {
    return access(Path(relative).c_str(), F_OK) == 0;
  }

 private:
  std::string root_;
};

#endif  // VOLTMON_QSLX_TEST_TREE_H_
