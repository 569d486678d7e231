// The mail fixture. Python's own ssl module cannot make a certificate, so the
// openssl command does; aiosmtpd is Debian's package for the system's
// python3, hence /usr/bin/python3 whatever else is first on the PATH.

#include "tests/support/smtp_fixture.h"

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr char kPython[] = "/usr/bin/python3";
constexpr char kOpenssl[] = "/usr/bin/openssl";
constexpr char kTrustedBundle[] = "/etc/ssl/certs/ca-certificates.crt";
constexpr int kStartMs = 15000;

std::string HeaderValue(const std::string& header, const std::string& name) {
  for (const std::string& line : LinesOf(header)) {
    if (line.compare(0, name.size() + 2, name + ": ") == 0) return line.substr(name.size() + 2);
    if (line == name + ":") return "";
  }
  return "";
}

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (!text.empty()) {
    size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return parts;
}

bool trusted = false;

}  // namespace

bool SmtpServerAvailable(TSmtpSecurity security, std::string* missing) {
  if (security != TSmtpSecurity::kNone && access(kOpenssl, X_OK) != 0) {
    *missing = std::string(kOpenssl) + " (package openssl)";
    return false;
  }
  TRunResult probe = RunCommand({kPython, "-c", "import aiosmtpd"});
  if (probe.exit_code != 0) {
    *missing = std::string(kPython) + " with aiosmtpd (package python3-aiosmtpd)";
    return false;
  }
  return true;
}

bool MakeSelfSignedCertificate(const std::string& dir, std::string* certificate, std::string* key,
                               std::string* error) {
  *certificate = dir + "/cert.pem";
  *key = dir + "/key.pem";
  TRunOptions options;
  options.merge_stderr = true;
  options.timeout_ms = 20000;
  TRunResult made = RunCommand(
      {kOpenssl, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
       "-nodes", "-keyout", *key, "-out", *certificate, "-days", "2", "-subj", "/CN=localhost",
       "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost"},
      options);
  if (made.exit_code != 0 || !FileExists(*certificate)) {
    *error = "openssl could not make a certificate: " + made.out;
    return false;
  }
  return true;
}

bool TrustOnlyCertificate(const std::string& certificate, std::string* error) {
  if (mount(certificate.c_str(), kTrustedBundle, nullptr, MS_BIND, nullptr) != 0) {
    *error = std::string("bind ") + certificate + " over " + kTrustedBundle + ": " +
             std::strerror(errno);
    return false;
  }
  trusted = true;
  return true;
}

void UntrustCertificate() {
  if (trusted) umount2(kTrustedBundle, MNT_DETACH);
  trusted = false;
}

TSmtpServer::TSmtpServer(const std::string& dir, TSmtpOptions options)
    : dir_(dir), options_(std::move(options)) {}

TSmtpServer::~TSmtpServer() {
  Stop();
}

bool TSmtpServer::Start(std::string* error) {
  std::string missing;
  if (!SmtpServerAvailable(options_.security, &missing)) {
    *error = missing + " is not installed";
    return false;
  }
  if (!MakeDirs(dir_ + "/mail")) {
    *error = "cannot create " + dir_ + "/mail";
    return false;
  }
  std::vector<std::string> argv = {kPython,  VM_SMTP_RECORDER_PATH,
                                   "--port", std::to_string(options_.port),
                                   "--dir",  dir_ + "/mail"};
  if (options_.security != TSmtpSecurity::kNone) {
    std::string key;
    if (!MakeSelfSignedCertificate(dir_, &certificate_, &key, error)) return false;
    argv.push_back(options_.security == TSmtpSecurity::kStartTls ? "--starttls" : "--tls");
    argv.push_back(certificate_);
    argv.push_back(key);
  }
  if (!options_.login.empty()) {
    argv.insert(argv.end(), {"--login", options_.login, "--password", options_.password});
  }
  TRunOptions run;
  run.stdout_path = dir_ + "/smtp.out";
  run.merge_stderr = true;
  pid_ = StartBackground(argv, run);
  const std::string ready = dir_ + "/mail/ready";
  if (pid_ < 0 || !WaitUntil([&] { return FileExists(ready) || ProcessGone(pid_); }, kStartMs) ||
      !FileExists(ready)) {
    *error = "the mail server did not start: " + Output();
    return false;
  }
  return true;
}

void TSmtpServer::Stop() {
  EndProcess(pid_);
  pid_ = -1;
}

std::string TSmtpServer::Output() const {
  return ReadFile(dir_ + "/smtp.out");
}

std::vector<TReceivedMail> TSmtpServer::Mails() const {
  std::vector<TReceivedMail> mails;
  for (int n = 1;; ++n) {
    std::string path = dir_ + "/mail/msg-" + std::to_string(n) + ".eml";
    if (!FileExists(path)) break;
    std::string text = ReadFile(path);
    size_t blank = text.find("\n\n");
    std::string header = text.substr(0, blank);
    TReceivedMail mail;
    mail.mail_from = HeaderValue(header, "mail_from");
    mail.recipients = SplitCommas(HeaderValue(header, "rcpt_tos"));
    mail.encrypted = HeaderValue(header, "tls") == "1";
    mail.login = HeaderValue(header, "login");
    mail.message = blank == std::string::npos ? "" : text.substr(blank + 2);
    mails.push_back(mail);
  }
  return mails;
}

bool TSmtpServer::WaitForMails(size_t count, int timeout_ms) const {
  return WaitUntil([&] { return Mails().size() >= count; }, timeout_ms, 50);
}
