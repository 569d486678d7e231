// Taking a wire frame "<|field|field|>" apart.
#ifndef VOLTMON_QSLX_FRAME_H_
#define VOLTMON_QSLX_FRAME_H_

#include <string>

#include "common/text.h"

// Fills `fields` with the frame's fields (numbered from 1 as index 0 on).
// False when the frame does not start with "<" and end with ">", or when it
// is cut into fewer than two pieces.
bool TakeFrameApart(const std::string& frame, TTextList* fields);

#endif  // VOLTMON_QSLX_FRAME_H_
