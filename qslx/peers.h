// The allowed peer list: the configured master addresses resolved to dotted
// IPv4, index-aligned with them, rebuilt at every accepted connection.
#ifndef VOLTMON_QSLX_PEERS_H_
#define VOLTMON_QSLX_PEERS_H_

#include <functional>
#include <mutex>
#include <string>

#include "common/text.h"

class TQsAllowedPeers {
 public:
  using Resolver = std::function<std::string(const std::string& host)>;

  // Resolves every entry of `addresses` (an unresolvable one gives an empty
  // entry, keeping the indexes aligned) and replaces the list at once: a
  // reader sees the old list or the new one, never a half-filled one.
  void Rebuild(const TextList& addresses, const Resolver& resolve);

  // Index of the first entry equal to `peer` ignoring letter case; -1 when
  // none. An empty peer matches nothing.
  int IndexOf(const std::string& peer) const;

  void Clear();
  TextList Entries() const;

 private:
  mutable std::mutex mutex_;
  TextList entries_;
};

#endif  // VOLTMON_QSLX_PEERS_H_
