// The event mail is plain text. Every text that goes into a header comes
// from the configuration or the language file, so each is checked or put on
// one line first: a line break there would let it add header lines or
// recipients of its own.

#include "wksrv/mail.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "common/log.h"

namespace {

std::atomic<TMailSender> g_sender{nullptr};

bool IsPlainAddress(const std::string& address) {
  if (address.empty() || address.find('@') == std::string::npos) return false;
  return std::none_of(address.begin(), address.end(), [](char c) {
    return static_cast<unsigned char>(c) <= 32 || c == 127 || c == '<' || c == '>' || c == ',';
  });
}

std::string OnOneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(),
      [](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; }, ' ');
  return text;
}

// "Wed, 09 Dec 2026 13:05:00 +0000", in English whatever the locale.
std::string MailDate(time_t when) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  struct tm local;
  if (localtime_r(&when, &local) == nullptr) return "";
  long offset = local.tm_gmtoff / 60;
  const char sign = offset < 0 ? '-' : '+';
  if (offset < 0) offset = -offset;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                kDays[local.tm_wday % 7], local.tm_mday, kMonths[local.tm_mon % 12],
                local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec, sign, offset / 60,
                offset % 60);
  return text;
}

}  // namespace

bool BuildEventMail(const TEmailSetup& email, const std::string& recipient,
                    const std::string& title, const std::string& host, time_t when,
                    TMailMessage* message, std::string* error) {
  if (email.EmailServer.empty()) {
    *error = "no mail server configured";
    return false;
  }
  if (!IsPlainAddress(email.EmailSender)) {
    *error = "the sender '" + OnOneLine(email.EmailSender) + "' is no mail address";
    return false;
  }
  if (!IsPlainAddress(recipient)) {
    *error = "the recipient '" + OnOneLine(recipient) + "' is no mail address";
    return false;
  }
  if (email.EmailEncryption < 0 || email.EmailEncryption > 2) {
    *error = "unknown encryption " + std::to_string(email.EmailEncryption);
    return false;
  }
  message->server = email.EmailServer;
  message->port = email.EmailPort;
  message->encryption = email.EmailEncryption;
  message->use_auth = email.EmailUseAuth;
  message->login = email.EmailLogin;
  message->password = email.EmailPassword;
  message->sender = email.EmailSender;
  message->recipient = recipient;
  message->subject = "UPS: " + OnOneLine(title);
  message->body = OnOneLine(title) + "\r\n\r\nDate: " + DateText(when) + " " + TimeText(when) +
                  "\r\nMaster server: " + OnOneLine(host) + "\r\n";
  return true;
}

std::string MailText(const TMailMessage& message, time_t when) {
  std::string text = "Date: " + MailDate(when) + "\r\nFrom: <" + message.sender + ">\r\nTo: <" +
                     message.recipient + ">\r\nSubject: " + OnOneLine(message.subject) +
                     "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=ISO-8859-1\r\n"
                     "Content-Transfer-Encoding: 8bit\r\n\r\n";
  text += message.body;
  return text;
}

TMailSender RegisteredMailSender() {
  return g_sender.load();
}

void RegisterMailSender(TMailSender sender) {
  g_sender.store(sender);
}
