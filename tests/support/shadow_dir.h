// A system directory (/dev, /run) made writable for one test without
// touching the host: in the test's private mount namespace it becomes a
// fresh tmpfs with each of the host's entries bound back in (symbolic links
// copied), so that new files such as /dev/log can be put beside them.
#ifndef VOLTMON_TESTS_SUPPORT_SHADOW_DIR_H_
#define VOLTMON_TESTS_SUPPORT_SHADOW_DIR_H_

#include <string>

class TShadowDir {
 public:
  // `target` is the directory to shadow; the host's one stays reachable at
  // `keep`, a directory that is made.
  TShadowDir(const std::string& target, const std::string& keep) : target_(target), keep_(keep) {}
  ~TShadowDir();  // Stop()
  TShadowDir(const TShadowDir&) = delete;
  TShadowDir& operator=(const TShadowDir&) = delete;

  // Puts the shadow in place; entries named `leave_out` are not bound back.
  // False with `*error` set.
  bool Start(std::string* error, const std::string& leave_out = "");
  // Gives the namespace the host's directory back.
  void Stop();

 private:
  std::string target_;
  std::string keep_;
  bool kept_ = false;
  bool mounted_ = false;
};

#endif  // VOLTMON_TESTS_SUPPORT_SHADOW_DIR_H_
