// Fuzzes the loader of "bin/wksrv.cfg" on arbitrary file contents: load,
// save, load again. The second record must equal the first in every field
// and event (the network card address, always saved empty, excepted), and a
// second save must give every key the value of the first (rewritten event
// keys may move to the end of the section, as a delete and a write do).
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "common/ini.h"
#include "wkcfg/model/setup.h"
#include "wkcfg/model/setup_keys.h"

namespace {

void Require(bool condition) {
  if (!condition) abort();
}

// A directory with "bin/" for the whole run, in memory where the system
// offers it, since every save syncs its file. Never destroyed, so that the
// exit handler that removes it can still name it.
const std::string& Root() {
  static const std::string* root = [] {
    struct stat st;
    const bool shm = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode);
    std::string pattern = std::string(shm ? "/dev/shm/" : "") + "wksrv_fuzz_XXXXXX";
    Require(mkdtemp(&pattern[0]) != nullptr);
    auto* dir = new std::string(pattern + "/");
    Require(mkdir((*dir + "bin").c_str(), 0700) == 0);
    atexit([] { (void)!system(("rm -rf '" + Root() + "'").c_str()); });
    return dir;
  }();
  return *root;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool SameField(const TFieldRef& a, const TFieldRef& b) {
  return std::visit(
      [&b](auto* left) {
        using Pointer = decltype(left);
        return *left == *std::get<Pointer>(b);
      },
      a);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = Root() + "bin/wksrv.cfg";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  TSetupData first;
  first.InstallPath = Root();
  LoadServerSetup(&first);
  Require(first.Server.SrvDownWarningTime >= 60);
  Require(first.Ups.Events.Count() <= 255);
  Require(first.LogData.DataSeparator.size() <= 1);
  Require(SaveServerSetup(first, true) == 0);
  const std::string saved = ReadAll(path);

  TSetupData second;
  second.InstallPath = Root();
  LoadServerSetup(&second);
  for (const TSetupKey& key : SetupKeys()) {
    TFieldRef field = key.field(&second);
    if (std::string(key.name) == "UpsNetCardAddress") {
      Require(std::get<std::string*>(field)->empty());
      continue;
    }
    Require(SameField(key.field(&first), field));
  }
  Require(first.Ups.Events.Lists() == second.Ups.Events.Lists());

  Require(SaveServerSetup(second, true) == 0);
  TIniDocument before, after;
  before.Parse(saved);
  after.Parse(ReadAll(path));
  TTextList keys = {"EventCounter"};
  for (const TSetupKey& key : SetupKeys()) keys.push_back(key.name);
  for (int n = 0; n < second.Ups.Events.Count(); ++n) keys.push_back("Event" + std::to_string(n));
  for (const std::string& key : keys) {
    Require(before.Get("Wattkeep", key) == after.Get("Wattkeep", key));
  }
  return 0;
}
