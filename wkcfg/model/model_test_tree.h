// A throw-away installation tree for the model's tests: "bin/" and a
// language file with the console's sections, set as the language file of the
// process, below a fresh temporary directory. Kept beside the model on
// purpose, since its language sections are the model's; header-only and
// included only by tests (the model's, the screens' and the tools').
#ifndef VOLTMON_WKCFG_MODEL_MODEL_TEST_TREE_H_
#define VOLTMON_WKCFG_MODEL_MODEL_TEST_TREE_H_

#include <string>

#include "common/lang.h"
#include "common/scramble.h"
#include "tests/support/temp_dir.h"

class TModelTestTree {
 public:
  TModelTestTree() : dir_("wkmodel") {
    MakeDirs(dir_.Sub("bin"));
    MakeDirs(dir_.Sub("languages"));
    WriteFile(dir_.Sub("languages/english.lng"),
              "[EVENTS]\n2=Battery low\n11=Shutdown in $ min^now\n[ACTIONS]\nCount=10\n"
              "0=Popup\n1=Log\n2=Shutdown\n3=RShut\n4=RMsg\n5=RSh1\n6=RSh2\n7=RSh3\n8=Local\n"
              "9=Mail\n10=MsLog\n[WKCFG]\nNoUpsSelected=None\n");
    SetLanguageFilePath(dir_.Sub("languages/english.lng"));
  }
  ~TModelTestTree() { SetLanguageFilePath(""); }

  // The installation directory, with trailing "/".
  std::string Root() const { return dir_.path() + "/"; }
  std::string Path(const std::string& relative) const { return Root() + relative; }
  void Write(const std::string& relative, const std::string& text) const {
    WriteFile(Path(relative), text);
  }
  std::string Read(const std::string& relative) const { return ReadFile(Path(relative)); }
  // `lines` scrambled one by one into "bin/upsdb.ups".
  void WriteDatabase(const TTextList& lines) const {
    std::string text;
    for (const std::string& line : lines) text += Scramble(line) + "\n";
    Write("bin/upsdb.ups", text);
  }

 private:
  TTempDir dir_;
};

#endif  // VOLTMON_WKCFG_MODEL_MODEL_TEST_TREE_H_
