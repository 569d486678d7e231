// The NUT fixture. The programs are Debian's: the driver and upsd from
// /lib/nut (the /sbin wrappers read the host's /etc/nut), pointed at the
// fixture's tree through NUT_CONFPATH, NUT_STATEPATH and NUT_ALTPIDPATH.
// Until the driver has handed over its first data upsd reports
// ups.status WAIT and refuses every SET, so Start waits for a real status.

#include "tests/support/nut_fixture.h"

#include <unistd.h>

#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr char kDriver[] = "/lib/nut/dummy-ups";
constexpr char kServer[] = "/lib/nut/upsd";
constexpr char kUpsc[] = "/usr/bin/upsc";
constexpr char kUpsrw[] = "/usr/bin/upsrw";
constexpr char kUpsName[] = "dummy";
constexpr int kStartMs = 8000;

std::string Trimmed(const std::string& text) {
  size_t end = text.find_last_not_of(" \t\r\n");
  return end == std::string::npos ? "" : text.substr(0, end + 1);
}

}  // namespace

TNutVars DefaultNutVars() {
  return {{"ups.status", "OL"},        {"battery.charge", "100"},     {"battery.runtime", "1800"},
          {"battery.voltage", "27.2"}, {"input.voltage", "230"},      {"output.voltage", "230"},
          {"ups.load", "20"},          {"ups.delay.shutdown", "20"},  {"ups.delay.start", "30"},
          {"ups.temperature", "30"},   {"ups.temperature.high", "45"}};
}

bool NutInstalled(std::string* missing) {
  for (const char* program : {kDriver, kServer, kUpsc, kUpsrw}) {
    if (access(program, X_OK) != 0) {
      *missing = program;
      return false;
    }
  }
  return true;
}

TNutUps::TNutUps(const std::string& dir, uint16_t port, TNutVars vars)
    : dir_(dir), port_(port), vars_(std::move(vars)) {}

TNutUps::~TNutUps() {
  Stop();
}

std::string TNutUps::Address() const {
  return std::string(kUpsName) + "@127.0.0.1:" + std::to_string(port_);
}

std::vector<std::string> TNutUps::Environment() const {
  return {"NUT_CONFPATH=" + dir_ + "/conf", "NUT_STATEPATH=" + dir_ + "/state",
          "NUT_ALTPIDPATH=" + dir_ + "/state"};
}

bool TNutUps::WriteConfig(std::string* error) const {
  std::string dev;
  for (const auto& var : vars_) dev += var.first + ": " + var.second + "\n";
  // The driver reads its file once; later states come through upsd.
  const std::string ups = std::string("[") + kUpsName +
                          "]\n  driver = dummy-ups\n  port = " + dir_ +
                          "/dummy.dev\n  mode = dummy-once\n";
  const std::string server =
      "LISTEN 127.0.0.1 " + std::to_string(port_) + "\nSTATEPATH " + dir_ + "/state\n";
  const std::string users = "[" + user_ + "]\n  password = " + password_ +
                            "\n  upsmon primary\n  actions = SET FSD\n  instcmds = ALL\n";
  if (!MakeDirs(dir_ + "/conf", 0750) || !MakeDirs(dir_ + "/state", 0750) ||
      !WriteFile(dir_ + "/dummy.dev", dev, 0640) ||
      !WriteFile(dir_ + "/conf/ups.conf", ups, 0640) ||
      !WriteFile(dir_ + "/conf/upsd.conf", server, 0640) ||
      !WriteFile(dir_ + "/conf/upsd.users", users, 0640)) {
    *error = "cannot write the NUT configuration below " + dir_;
    return false;
  }
  return true;
}

std::string TNutUps::Outputs() const {
  return "\ndriver:\n" + ReadFile(dir_ + "/driver.log") + "upsd:\n" + ServerLog();
}

std::string TNutUps::ServerLog() const {
  return ReadFile(dir_ + "/upsd.log");
}

bool TNutUps::Start(std::string* error) {
  std::string missing;
  if (!NutInstalled(&missing)) {
    *error = missing + " is not installed";
    return false;
  }
  if (!WriteConfig(error)) return false;
  TRunOptions options;
  options.env = Environment();
  options.stdout_path = dir_ + "/driver.log";
  options.merge_stderr = true;
  driver_pid_ = StartBackground({kDriver, "-a", kUpsName, "-u", "root", "-F"}, options);
  // upsd finds the driver through its socket in the state directory.
  const std::string socket = dir_ + "/state/dummy-ups-" + kUpsName;
  if (driver_pid_ < 0 || !WaitUntil([&] { return FileExists(socket); }, kStartMs)) {
    *error = "the dummy-ups driver did not start" + Outputs();
    return false;
  }
  return StartServer(error);
}

bool TNutUps::StartServer(std::string* error) {
  TRunOptions options;
  options.env = Environment();
  options.stdout_path = dir_ + "/upsd.log";
  options.merge_stderr = true;
  server_pid_ = StartBackground({kServer, "-u", "root", "-F"}, options);
  if (server_pid_ < 0 || !WaitUntil(
                             [&] {
                               std::string status = ReadVar("ups.status");
                               return !status.empty() && status != "WAIT";
                             },
                             kStartMs, 50)) {
    *error = "upsd gave no UPS status" + Outputs();
    return false;
  }
  return true;
}

void TNutUps::StopServer() {
  EndProcess(server_pid_);
  server_pid_ = -1;
}

void TNutUps::Stop() {
  StopServer();
  EndProcess(driver_pid_);
  driver_pid_ = -1;
}

bool TNutUps::SetStatus(const std::string& status, std::string* error) {
  return SetVar("ups.status", status, error);
}

bool TNutUps::SetVar(const std::string& name, const std::string& value, std::string* error) {
  TRunOptions options;
  options.merge_stderr = true;
  options.timeout_ms = 5000;
  TRunResult result = RunCommand(
      {kUpsrw, "-s", name + "=" + value, "-u", user_, "-p", password_, Address()}, options);
  if (result.exit_code != 0) {
    if (error != nullptr) *error = "upsrw " + name + "=" + value + ": " + result.out;
    return false;
  }
  // upsd answers once it has passed the value on; the driver's echo follows.
  if (!WaitUntil([&] { return ReadVar(name) == value; }, kStartMs, 10)) {
    if (error != nullptr) *error = "upsd never showed " + name + "=" + value;
    return false;
  }
  return true;
}

std::string TNutUps::ReadVar(const std::string& name) const {
  TRunOptions options;
  options.timeout_ms = 5000;
  TRunResult result = RunCommand({kUpsc, Address(), name}, options);
  return result.exit_code == 0 ? Trimmed(result.out) : "";
}
