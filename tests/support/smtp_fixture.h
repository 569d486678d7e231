// A mail server for system tests: Debian's aiosmtpd run as a subprocess on
// 127.0.0.1 (smtp_recorder.py), plain, with STARTTLS or on a TLS port, with or
// without a login, recording every message it accepts. The certificate for
// the encrypted kinds is made at test time with the openssl command, and can
// be made the only one the namespace's programs trust.
#ifndef VOLTMON_TESTS_SUPPORT_SMTP_FIXTURE_H_
#define VOLTMON_TESTS_SUPPORT_SMTP_FIXTURE_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

enum class TSmtpSecurity { kNone, kStartTls, kTls };

struct TSmtpOptions {
  uint16_t port = 2525;
  TSmtpSecurity security = TSmtpSecurity::kNone;
  std::string login;  // not empty: authentication required with `password`
  std::string password;
};

// One accepted message.
struct TReceivedMail {
  std::string mail_from;
  std::vector<std::string> recipients;
  bool encrypted = false;  // the session ran over TLS when the message came
  std::string login;       // the authenticated user, empty without
  std::string message;     // headers and body as received
};

// Whether the programs the fixture needs are there (Debian's python3 with
// aiosmtpd, and for an encrypted server the openssl command: Python's ssl
// module cannot make a certificate); what is missing in `*missing`.
bool SmtpServerAvailable(TSmtpSecurity security, std::string* missing);

// A self-signed certificate for 127.0.0.1 and localhost, with its key, made
// in `dir` by the openssl command. False with `*error` set.
bool MakeSelfSignedCertificate(const std::string& dir, std::string* certificate, std::string* key,
                               std::string* error);

// Bind-mounts `certificate` over the system's bundle of trusted authorities,
// so that programs started afterwards in this mount namespace trust it (and
// nothing else). Only in a private mount namespace; undone with
// UntrustCertificate.
bool TrustOnlyCertificate(const std::string& certificate, std::string* error);
void UntrustCertificate();

class TSmtpServer {
 public:
  // `dir` is an existing directory for the certificate, the messages and
  // the server's output.
  TSmtpServer(const std::string& dir, TSmtpOptions options);
  ~TSmtpServer();  // Stop()
  TSmtpServer(const TSmtpServer&) = delete;
  TSmtpServer& operator=(const TSmtpServer&) = delete;

  // Makes the certificate when needed, starts the server and waits (bounded)
  // until it accepts connections. False with `*error` set.
  bool Start(std::string* error);
  void Stop();

  // The messages accepted so far, in order.
  std::vector<TReceivedMail> Mails() const;
  bool WaitForMails(size_t count, int timeout_ms) const;

  // The certificate the server shows (empty for kNone).
  const std::string& certificate() const { return certificate_; }
  // What the server printed (its errors).
  std::string Output() const;

 private:
  std::string dir_;
  TSmtpOptions options_;
  std::string certificate_;
  pid_t pid_ = -1;
};

#endif  // VOLTMON_TESTS_SUPPORT_SMTP_FIXTURE_H_
