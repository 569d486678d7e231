// The allowed peer list: the configured master addresses as dotted IPv4,
// index-aligned with them (an entry without an address is empty). Dotted
// addresses and "localhost" are known at once; names are looked up off the
// connections' path, by TQsNameRefresher, and keep their last good address
// while the name service is silent.
#ifndef VOLTMON_QSLX_PEERS_H_
#define VOLTMON_QSLX_PEERS_H_

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/resolve.h"
#include "common/text.h"
#include "qslx/event_log.h"

// The index of the first entry of `known` equal to `peer` ignoring letter
// case; -1 when none. An empty peer matches nothing.
int AllowedIndex(const TTextList& known, const std::string& peer);

class TQsAllowedPeers {
 public:
  // What one lookup round changed for a name.
  struct TChange {
    std::string name;
    std::string address;  // the new one, or the one kept
    bool resolves = false;
  };

  // Takes the configured addresses: literal ones are known from now on,
  // names have no address until a Refresh finds one.
  void Configure(const TTextList& addresses);

  // True when the list holds names for Refresh to look up.
  bool HasNames() const;

  // Looks every name up side by side, each within `timeout_ms` (all ended
  // at once when `stop_fd` becomes readable), storing each answer as it
  // comes; a name that does not resolve keeps its last good address. The
  // changes are the names that stopped or started resolving.
  std::vector<TChange> Refresh(int timeout_ms, int stop_fd, const TBlockingResolver& resolver);

  // The index of `peer` among the known addresses; -1 when none.
  int IndexOf(const std::string& peer) const;

  // IndexOf; but when nothing matches and the list holds names, calls
  // `ask_again` (to have them looked up anew) and waits up to `wait_ms` for
  // a lookup round to end with an answer that matches. Ends at once after
  // Abandon.
  int IndexOfWaiting(const std::string& peer, int wait_ms, const std::function<void()>& ask_again);

  // Ends every wait of IndexOfWaiting at once, and those to come.
  void Abandon();

  void Clear();
  TTextList Entries() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  TTextList configured_;
  TTextList entries_;
  std::vector<bool> failing_;  // names whose last lookup failed
  uint64_t rounds_ = 0;        // lookup rounds ended
  bool abandoned_ = false;
};

// Looks the names of an allowed peer list up on a thread of its own: at
// start, then at every interval, and at once when asked; logs a name that
// stops (or starts again) resolving. Stopping never waits for a lookup.
// The times of TQsNameRefresher, in milliseconds.
struct TQsNameTimes {
  int lookup_ms = 5000;     // one name's lookup
  int interval_ms = 60000;  // between rounds
  int min_gap_ms = 500;     // between the end of a round and an asked one
};

class TQsNameRefresher {
 public:
  // `peers` and `events` must outlive it.
  TQsNameRefresher(TQsAllowedPeers* peers, TQsEventSink* events,
                   TBlockingResolver resolver = SystemResolve, TQsNameTimes times = TQsNameTimes());
  ~TQsNameRefresher();
  TQsNameRefresher(const TQsNameRefresher&) = delete;
  TQsNameRefresher& operator=(const TQsNameRefresher&) = delete;

  // Starts the thread when the list holds names; false when it cannot.
  bool Start();
  // A round as soon as the running one has ended (and the least gap passed).
  void AskAgain();
  // Ends the waits on the list and the thread, at once. Call it only once
  // no one can call AskAgain any more.
  void Stop();

 private:
  void Run();
  void CloseDescriptors();
  void Log(const TQsAllowedPeers::TChange& change);
  // Waits up to `ms` for the stop descriptor, and the ask descriptor when
  // `asked_too`; true on stop.
  bool WaitUnlessStopped(int ms, bool asked_too);

  TQsAllowedPeers* peers_;
  TQsEventSink* events_;
  TBlockingResolver resolver_;
  TQsNameTimes times_;
  int stop_fd_ = -1;
  int ask_fd_ = -1;
  std::thread thread_;
};

#endif  // VOLTMON_QSLX_PEERS_H_
