// The longest request line the daemon reads, shared with the tools that
// build requests, so that an order the daemon would drop is refused before
// it is sent.
#ifndef VOLTMON_QSLX_REQUEST_LINE_H_
#define VOLTMON_QSLX_REQUEST_LINE_H_

#include <cstddef>
#include <string>

// Request lines longer than this (as sent, scrambled, without the line end)
// are refused; a real order is a few dozen bytes.
constexpr size_t kMaxRequestLine = 4096;

// Empty when a request line of `length` bytes on the wire is within the
// limit; otherwise the reason it would be dropped, naming the limit.
inline std::string RequestLineProblem(size_t length) {
  if (length <= kMaxRequestLine) return "";
  return "the request line would be " + std::to_string(length) +
         " bytes, past the daemon's limit of " + std::to_string(kMaxRequestLine) + " bytes";
}

#endif  // VOLTMON_QSLX_REQUEST_LINE_H_
