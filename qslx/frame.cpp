// Taking a descrambled wire frame apart into its fields. The outer pieces,
// normally "<" and ">", are cut off; inner pieces keep their places even when
// empty, so that field numbers stay what the sender meant.
#include "qslx/frame.h"

bool TakeFrameApart(const std::string& frame, TTextList* fields) {
  fields->clear();
  if (frame.empty() || frame.front() != '<' || frame.back() != '>') return false;
  TTextList pieces;
  SplitToList('|', frame, &pieces, true);
  if (pieces.size() < 2) return false;
  for (size_t i = 1; i + 1 < pieces.size(); ++i) fields->push_back(TrimControls(pieces[i]));
  return true;
}
