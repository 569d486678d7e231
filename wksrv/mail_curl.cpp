// The program's mail sender: libcurl's SMTP. It registers itself when the
// program starts, before any thread runs, and sets libcurl up at that same
// moment, since its global set-up is not for threads.
//
// Certificates are always checked, peer and host name, against the system's
// store of trusted authorities; there is no switch to weaken that. Tests put
// their own authority in place of the store inside a mount namespace.

#include <curl/curl.h>

#include <cstring>
#include <ctime>
#include <string>

#include "wksrv/mail.h"

namespace {

constexpr long kMostConnectSeconds = 20;

struct TUpload {
  const std::string* text;
  size_t offset;
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* user) {
  TUpload* upload = static_cast<TUpload*>(user);
  const size_t room = size * count;
  const size_t left = upload->text->size() - upload->offset;
  const size_t taken = left < room ? left : room;
  std::memcpy(buffer, upload->text->data() + upload->offset, taken);
  upload->offset += taken;
  return taken;
}

std::string ServerUrl(const TMailMessage& message) {
  std::string host = message.server;
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return std::string(message.encryption == 2 ? "smtps://" : "smtp://") + host + ":" +
         std::to_string(message.port);
}

bool SendWithCurl(const TMailMessage& message, std::string* error) {
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    *error = "the mail library could not start";
    return false;
  }
  const std::string url = ServerUrl(message);
  const std::string from = "<" + message.sender + ">";
  const std::string to = "<" + message.recipient + ">";
  const std::string text = MailText(message, time(nullptr));
  TUpload upload = {&text, 0};
  char problem[CURL_ERROR_SIZE] = "";
  curl_slist* recipients = curl_slist_append(nullptr, to.c_str());
  const long timeout = message.timeout_seconds > 0 ? message.timeout_seconds : 60;

  CURLcode result = recipients == nullptr ? CURLE_OUT_OF_MEMORY : CURLE_OK;
  auto set = [&](CURLoption option, auto value) {
    if (result == CURLE_OK) result = curl_easy_setopt(curl, option, value);
  };
  set(CURLOPT_ERRORBUFFER, problem);
  set(CURLOPT_URL, url.c_str());
#if LIBCURL_VERSION_NUM >= 0x075500
  set(CURLOPT_PROTOCOLS_STR, "smtp,smtps");
#endif
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_TIMEOUT, timeout);
  set(CURLOPT_CONNECTTIMEOUT, timeout < kMostConnectSeconds ? timeout : kMostConnectSeconds);
  set(CURLOPT_USE_SSL, message.encryption == 0 ? static_cast<long>(CURLUSESSL_NONE)
                                               : static_cast<long>(CURLUSESSL_ALL));
  set(CURLOPT_SSL_VERIFYPEER, 1L);
  set(CURLOPT_SSL_VERIFYHOST, 2L);
  if (message.use_auth) {
    set(CURLOPT_USERNAME, message.login.c_str());
    set(CURLOPT_PASSWORD, message.password.c_str());
  }
  set(CURLOPT_MAIL_FROM, from.c_str());
  set(CURLOPT_MAIL_RCPT, recipients);
  set(CURLOPT_READFUNCTION, ReadUpload);
  set(CURLOPT_READDATA, &upload);
  set(CURLOPT_UPLOAD, 1L);
  if (result == CURLE_OK) result = curl_easy_perform(curl);
  curl_slist_free_all(recipients);
  curl_easy_cleanup(curl);
  if (result != CURLE_OK) {
    *error = url + ": " + (problem[0] != '\0' ? problem : curl_easy_strerror(result));
    return false;
  }
  return true;
}

struct TRegistration {
  TRegistration() {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) RegisterMailSender(SendWithCurl);
  }
} g_registration;

}  // namespace
