// upsdbgen: builds the shipped UPS model database from its clear-text
// source. Usage: upsdbgen SOURCE OUTPUT. Every model line of the source
// (lines that are blank or start with "#" are left out) is checked for its
// 41 fields and written scrambled on its own line, so the shipped file is
// never edited by hand. Exit status 1 on any error, the output then absent.

#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/files.h"
#include "common/scramble.h"
#include "common/text.h"

namespace {

constexpr size_t kFieldCount = 41;

bool IsModelLine(const std::string& line) {
  std::string trimmed = TrimControls(line);
  return !trimmed.empty() && trimmed[0] != '#';
}

bool Fail(const std::string& text) {
  std::fprintf(stderr, "upsdbgen: %s\n", text.c_str());
  return false;
}

bool Generate(const std::string& source, const std::string& output) {
  std::string contents;
  int error = ReadWholeFile(source, &contents);
  if (error != 0) return Fail(source + ": cannot be read (error " + std::to_string(error) + ")");
  std::string scrambled;
  int number = 0;
  for (const std::string& line : SplitLines(contents)) {
    ++number;
    if (!IsModelLine(line)) continue;
    TTextList fields;
    SplitToList('|', line, &fields, true);
    if (fields.size() != kFieldCount) {
      return Fail(source + ":" + std::to_string(number) + ": " + std::to_string(fields.size()) +
                  " fields instead of 41");
    }
    scrambled += Scramble(line) + "\n";
  }
  FILE* out = std::fopen(output.c_str(), "wb");
  if (out == nullptr) return Fail(output + ": cannot be created");
  bool ok = std::fwrite(scrambled.data(), 1, scrambled.size(), out) == scrambled.size();
  if (std::fclose(out) != 0) ok = false;
  if (!ok) {
    unlink(output.c_str());
    return Fail(output + ": cannot be written");
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: upsdbgen SOURCE OUTPUT\n");
    return 1;
  }
  return Generate(argv[1], argv[2]) ? 0 : 1;
}
