// Between two full listings of the UPS's variables, a poll on mains power
// asks upsd only for ups.status, which every event of the mains and the
// battery is drawn from. This keeps the last listing and says when a poll
// must list again; the NUT link does the asking.
#ifndef VOLTMON_WKSRV_READING_CACHE_H_
#define VOLTMON_WKSRV_READING_CACHE_H_

#include <map>
#include <string>

class TReadingCache {
 public:
  using TVars = std::map<std::string, std::string>;

  // Whether the next poll must list every variable: nothing listed yet, or
  // the link failed since.
  bool NeedsList() const { return !listed_; }
  // A full listing, kept for the polls that follow it.
  void TakeList(const TVars& vars);
  // The reading of a poll that asked only for the status: the last listing
  // with `status` in it.
  TVars WithStatus(const std::string& status);
  // A status that calls for every variable at once: on battery (the
  // runtime left decides the shutdown) or with an alarm (its text may be new).
  static bool StatusWantsList(const std::string& status);
  // After a failure: the next poll lists again.
  void Forget();

 private:
  TVars last_;
  bool listed_ = false;
};

#endif  // VOLTMON_WKSRV_READING_CACHE_H_
