// Fuzzes SplitToList against a plain reading of its rule. The first byte is
// the delimiter, the rest the text; a second byte chooses whether the list is
// cleared or appended to.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/text.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

TTextList Reference(char delimiter, const std::string& text) {
  TTextList fields;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(delimiter, start);
    if (at == std::string::npos) {
      const std::string last = ReferenceTrim(text.substr(start));
      if (!last.empty()) fields.push_back(last);
      return fields;
    }
    fields.push_back(ReferenceTrim(text.substr(start, at - start)));
    start = at + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const char delimiter = static_cast<char>(data[0]);
  const bool clear = (data[1] & 1) != 0;
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

  const TTextList expected = Reference(delimiter, text);
  const TTextList before = {"kept", ""};
  TTextList list = before;
  SplitToList(delimiter, text, &list, clear);

  TTextList want = clear ? TTextList() : before;
  want.insert(want.end(), expected.begin(), expected.end());
  Require(list == want);

  for (size_t i = clear ? 0 : before.size(); i < list.size(); ++i) {
    Require(list[i].find(delimiter) == std::string::npos);
    Require(ReferenceTrim(list[i]) == list[i]);
  }
  return 0;
}
