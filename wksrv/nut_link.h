// The UPS as NUT's upsd offers it, through Debian's client library: every
// variable of the UPS or its status per poll, and the two commands the own shutdown gives.
#ifndef VOLTMON_WKSRV_NUT_LINK_H_
#define VOLTMON_WKSRV_NUT_LINK_H_

#include <memory>
#include <string>

#include "wksrv/master_settings.h"
#include "wksrv/ups_link.h"

class TNutLink : public TUpsLink {
 public:
  // The UPS, upsd and account of `settings` (NutUps "name@host[:port]");
  // each connect is given up after `connect_timeout_ms`, each line read or
  // sent after `io_timeout_s` seconds.
  TNutLink(const TMasterSettings& settings, int connect_timeout_ms, int io_timeout_s);
  ~TNutLink() override;
  TNutLink(const TNutLink&) = delete;
  TNutLink& operator=(const TNutLink&) = delete;

  // False with the reason when NutUps cannot be read as "name@host[:port]";
  // every poll and command then fails with that reason.
  bool Valid(std::string* error) const;

  // Over a connection kept from poll to poll: one LIST VAR when `list_all`
  // or nothing is listed yet, else one GET VAR of ups.status, followed by
  // a LIST VAR when that status is on battery or carries an alarm. A failed connection is dropped
  // and made anew at the next poll. Data stale, a
  // driver not connected, a UPS that upsd does not know and a UPS whose
  // status says it waits for its first data count as unreachable.
  TUpsReading Poll(bool list_all) override;
  // Over a connection of their own, logged in as NutUser: SET VAR and
  // INSTCMD. Safe beside Poll on another thread.
  bool SetVariable(const std::string& name, const std::string& value, std::string* error) override;
  bool InstantCommand(const std::string& name, std::string* error) override;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

#endif  // VOLTMON_WKSRV_NUT_LINK_H_
