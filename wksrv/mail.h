// An "$EMAIL" job's mail: what it says, and the seam to the program's sender
// (mail_curl.cpp, built where libcurl is found, registers itself), so that
// the rest of the master builds and is tested without a mail library.
#ifndef VOLTMON_WKSRV_MAIL_H_
#define VOLTMON_WKSRV_MAIL_H_

#include <ctime>
#include <string>

#include "wkcfg/model/setup.h"

struct TMailMessage {
  std::string server;  // EmailServer
  uint16_t port = 25;
  int32_t encryption = 0;  // 0 none, 1 STARTTLS (required), 2 SSL/TLS from the start
  bool use_auth = false;
  std::string login;
  std::string password;
  std::string sender;        // EmailSender
  std::string recipient;     // the job's parameter
  std::string subject;       // on one line
  std::string body;          // lines ended by CR LF
  int timeout_seconds = 60;  // the whole exchange
};

// The mail of the event `title` at `when` to `recipient` through the
// configured server. False with the reason when the setup cannot make one
// (no server, no sender, an address holding a line break or "<>").
bool BuildEventMail(const TEmailSetup& email, const std::string& recipient,
                    const std::string& title, const std::string& host, time_t when,
                    TMailMessage* message, std::string* error);

// The whole message as sent: the header lines (Date, From, To, Subject,
// MIME), an empty line and the body. The sender doubles a leading "." of a
// line itself, as SMTP wants.
std::string MailText(const TMailMessage& message, time_t when);

// Sends one message; bounded by the message's time limit. False with the
// reason.
using TMailSender = bool (*)(const TMailMessage& message, std::string* error);

// The program's sender; nullptr where the program was built without one.
TMailSender RegisteredMailSender();
// Called once, before any event runs.
void RegisterMailSender(TMailSender sender);

#endif  // VOLTMON_WKSRV_MAIL_H_
