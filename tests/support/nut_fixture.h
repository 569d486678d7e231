// A simulated UPS for system tests: Debian's NUT dummy-ups driver and upsd,
// run as root in the foreground from a private configuration and state tree,
// upsd listening on 127.0.0.1 at a chosen port. The UPS's state is changed at
// once through upsd (upsrw), read back with upsc; every process the fixture
// starts is ended by its id. Meant for a private network namespace.
#ifndef VOLTMON_TESTS_SUPPORT_NUT_FIXTURE_H_
#define VOLTMON_TESTS_SUPPORT_NUT_FIXTURE_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The variables the dummy UPS starts with; those not listed here cannot be
// set later (the driver accepts a new value only for a variable it has).
using TNutVars = std::vector<std::pair<std::string, std::string>>;

// On line, full battery, 30 minutes of runtime, a temperature below its
// limit, and the delays a shutdown sets (ups.delay.shutdown,
// ups.delay.start).
TNutVars DefaultNutVars();

// Whether Debian's NUT programs the fixture runs are installed; the missing
// one named in `*missing`.
bool NutInstalled(std::string* missing);

class TNutUps {
 public:
  // `dir` is an existing empty directory for the configuration, state and
  // logs. The UPS is offered as "dummy".
  TNutUps(const std::string& dir, uint16_t port, TNutVars vars = DefaultNutVars());
  ~TNutUps();  // Stop()
  TNutUps(const TNutUps&) = delete;
  TNutUps& operator=(const TNutUps&) = delete;

  // Writes the configuration, starts the driver, then upsd, and waits (a few
  // seconds at most) until upsd reports a real ups.status. False with
  // `*error` set (the programs' output included).
  bool Start(std::string* error);
  // Ends upsd and the driver.
  void Stop();

  // Ends upsd only (an upsd gone during an outage); the driver keeps the
  // state. StartServer brings it back and waits until it answers again.
  void StopServer();
  bool StartServer(std::string* error);

  // Sets ups.status ("OB", "OB LB", "OL") or any variable the UPS has,
  // through upsd as the fixture's user, and waits (bounded) until upsd shows
  // the new value; false with upsrw's answer in `*error`.
  bool SetStatus(const std::string& status, std::string* error = nullptr);
  bool SetVar(const std::string& name, const std::string& value, std::string* error = nullptr);
  // A variable as upsc reads it through upsd; empty when upsd does not give
  // it or cannot be reached.
  std::string ReadVar(const std::string& name) const;

  // "dummy@127.0.0.1:PORT", as clients name the UPS.
  std::string Address() const;
  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }
  uint16_t port() const { return port_; }
  // What upsd wrote so far (set variables and commands are logged there).
  std::string ServerLog() const;

 private:
  bool WriteConfig(std::string* error) const;
  std::vector<std::string> Environment() const;
  std::string Outputs() const;

  std::string dir_;
  uint16_t port_;
  TNutVars vars_;
  std::string user_ = "mon";
  std::string password_ = "secret";
  pid_t driver_pid_ = -1;
  pid_t server_pid_ = -1;
};

#endif  // VOLTMON_TESTS_SUPPORT_NUT_FIXTURE_H_
