// What the fuzz targets share: the check that ends the run with a crash
// libFuzzer records, and a reference trim written apart from the code under
// test.
#ifndef VOLTMON_TESTS_FUZZ_FUZZ_SUPPORT_H_
#define VOLTMON_TESTS_FUZZ_FUZZ_SUPPORT_H_

#include <cstdlib>
#include <string>

inline void Require(bool condition) {
  if (!condition) abort();
}

// The text without spaces and tabs at both ends.
inline std::string ReferenceTrim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return text.substr(begin, end - begin);
}

#endif  // VOLTMON_TESTS_FUZZ_FUZZ_SUPPORT_H_
