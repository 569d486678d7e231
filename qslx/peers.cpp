// The allowed peer list, shared by all connection workers. Names are resolved
// outside the lock, so that a slow resolver never holds up the lookups of
// other connections; only the swap of the finished list is locked.
#include "qslx/peers.h"

#include <strings.h>

void TQsAllowedPeers::Rebuild(const TextList& addresses, const Resolver& resolve) {
  TextList fresh;
  fresh.reserve(addresses.size());
  for (const std::string& address : addresses) fresh.push_back(resolve(address));
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.swap(fresh);
}

int TQsAllowedPeers::IndexOf(const std::string& peer) const {
  if (peer.empty()) return -1;
  std::lock_guard<std::mutex> lock(mutex_);
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (strcasecmp(entries_[i].c_str(), peer.c_str()) == 0) return static_cast<int>(i);
  }
  return -1;
}

void TQsAllowedPeers::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
}

TextList TQsAllowedPeers::Entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_;
}
