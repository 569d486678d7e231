// A throw-away installation for the master server's unit tests: "bin/",
// "data/" and a language file with the event names, set as the process's
// language file, below a fresh temporary directory. Made before any runner
// starts a thread, as the language file may only change then. Kept beside
// the master server on purpose, since it builds the server's setup;
// header-only and included only by its unit tests.
#ifndef VOLTMON_WKSRV_WKSRV_TEST_TREE_H_
#define VOLTMON_WKSRV_WKSRV_TEST_TREE_H_

#include <string>

#include "common/lang.h"
#include "tests/support/temp_dir.h"
#include "wkcfg/model/setup.h"

class TWksrvTestTree {
 public:
  TWksrvTestTree() : dir_("wksrv") {
    MakeDirs(dir_.Sub("bin"));
    MakeDirs(dir_.Sub("data"));
    WriteFile(dir_.Sub("languages/english.lng"),
              "[EVENTS]\n0=Mains failure\n2=Battery low\n11=Shutdown in $ min^now\n"
              "12=System shutdown\n13=Phase|failure\n");
    SetLanguageFilePath(dir_.Sub("languages/english.lng"));
  }
  ~TWksrvTestTree() { SetLanguageFilePath(""); }

  // The installation directory, with trailing "/".
  std::string Root() const { return dir_.path() + "/"; }
  std::string Path(const std::string& relative) const { return Root() + relative; }
  // A setup of this installation with the event lines `events`.
  TSetupData Setup(const std::vector<std::string>& events = {}) const {
    TSetupData setup;
    setup.InstallPath = Root();
    for (const std::string& line : events) setup.Ups.Events.AddEventLine(line);
    return setup;
  }

 private:
  TTempDir dir_;
};

#endif  // VOLTMON_WKSRV_WKSRV_TEST_TREE_H_
