// Host names to IPv4 addresses within a time limit. The system resolver
// cannot be bounded (a silent name server holds it for its own timeouts and
// tries), so each lookup runs on a thread of its own that a waiter may
// abandon: the lookup then finishes later, on its own, and frees itself.
#ifndef VOLTMON_COMMON_RESOLVE_H_
#define VOLTMON_COMMON_RESOLVE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

enum class TResolveResult {
  kResolved,     // an IPv4 address was found
  kUnknown,      // the resolver answered that the name has none
  kNoAnswer,     // no answer within the time limit (or no lookup could start)
  kInterrupted,  // the wake descriptor became readable first
  kPending,      // Poll only: not answered yet
};

// The blocking lookup a TNameLookup runs on its thread: the first IPv4
// address of `host` in dotted form, or an empty text. Must be safe to run on
// several threads at once.
using TBlockingResolver = std::function<std::string(const std::string& host)>;

// The system resolver (getaddrinfo), unbounded.
std::string SystemResolve(const std::string& host);

// True, with `*dotted` set, when `host` needs no resolver: "localhost" in any
// letter case gives "127.0.0.1", a dotted IPv4 address is itself.
bool LiteralIPv4(const std::string& host, std::string* dotted);

// One lookup, started at construction. Destroying it abandons an unanswered
// lookup. Not for use by several threads at once.
class TNameLookup {
 public:
  explicit TNameLookup(const std::string& host, const TBlockingResolver& resolver = SystemResolve);
  ~TNameLookup();
  TNameLookup(const TNameLookup&) = delete;
  TNameLookup& operator=(const TNameLookup&) = delete;

  const std::string& Host() const { return host_; }
  // The answer so far, without waiting.
  TResolveResult Poll();
  // Waits for the answer until `deadline_ms` (NowMs scale); ends early with
  // kInterrupted when `wake_fd` (not negative) becomes readable.
  TResolveResult Wait(int64_t deadline_ms, int wake_fd = -1);
  // The address once kResolved; empty before.
  const std::string& Address() const { return address_; }

  // The record shared with the lookup thread (see resolve.cpp).
  struct TShared;

 private:
  std::string host_;
  std::string address_;
  TResolveResult known_ = TResolveResult::kPending;
  std::shared_ptr<TShared> shared_;  // null when answered at construction
};

// Resolves `host` within `timeout_ms` (not negative); `*dotted` is set when
// kResolved.
TResolveResult ResolveIPv4Within(const std::string& host, int timeout_ms, std::string* dotted,
                                 int wake_fd = -1,
                                 const TBlockingResolver& resolver = SystemResolve);

#endif  // VOLTMON_COMMON_RESOLVE_H_
