#include "wksrv/mail.h"

#include <gtest/gtest.h>
#include <stdlib.h>

namespace {

// 07/12/2026 14:05:09 UTC, a Monday.
const time_t kWhen = 1796652309;

TEmailSetup Server() {
  TEmailSetup email;
  email.EmailServer = "mail.example.org";
  email.EmailPort = 587;
  email.EmailEncryption = 1;
  email.EmailUseAuth = true;
  email.EmailLogin = "ups";
  email.EmailPassword = "secret";
  email.EmailSender = "ups@example.org";
  return email;
}

TEST(EventMail, CarriesTheServerAndTheEventWithHeadersThatCannotBeWidened) {
  setenv("TZ", "UTC0", 1);
  tzset();
  TMailMessage message;
  std::string error;
  ASSERT_TRUE(BuildEventMail(Server(), "ops@example.org", "Mains\rfailure\nBcc: x@y", "master",
                             kWhen, &message, &error))
      << error;
  EXPECT_EQ(message.server, "mail.example.org");
  EXPECT_EQ(message.port, 587);
  EXPECT_EQ(message.encryption, 1);
  EXPECT_TRUE(message.use_auth);
  EXPECT_EQ(message.login, "ups");
  EXPECT_EQ(message.password, "secret");
  EXPECT_EQ(message.subject, "UPS: Mains failure Bcc: x@y");
  const std::string text = MailText(message, kWhen);
  EXPECT_EQ(text.find("Date: Mon, 07 Dec 2026 14:05:09 +0000\r\n"), 0u) << text;
  EXPECT_NE(text.find("\r\nFrom: <ups@example.org>\r\nTo: <ops@example.org>\r\n"
                      "Subject: UPS: Mains failure Bcc: x@y\r\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("\nBcc"), std::string::npos) << text;
  EXPECT_NE(text.find("\r\n\r\nMains failure Bcc: x@y\r\n\r\nDate: 07/12/2026 14:05:09\r\n"
                      "Master server: master\r\n"),
            std::string::npos)
      << text;
}

TEST(EventMail, ASetupThatCannotMailIsSaidWhy) {
  struct Case {
    std::string server;
    std::string sender;
    std::string recipient;
    int32_t encryption;
    std::string why;
  };
  const std::vector<Case> cases = {
      {"", "ups@example.org", "ops@example.org", 0, "no mail server"},
      {"m", "", "ops@example.org", 0, "sender"},
      {"m", "ups", "ops@example.org", 0, "sender"},
      {"m", "ups@example.org", "", 0, "recipient"},
      {"m", "ups@example.org", "ops@example.org>\r\nRCPT TO:<x@y", 0, "recipient"},
      {"m", "ups@example.org", "a@b, c@d", 0, "recipient"},
      {"m", "ups@example.org", "ops@example.org", 3, "encryption"},
  };
  for (const Case& c : cases) {
    TEmailSetup email = Server();
    email.EmailServer = c.server;
    email.EmailSender = c.sender;
    email.EmailEncryption = c.encryption;
    TMailMessage message;
    std::string error;
    EXPECT_FALSE(BuildEventMail(email, c.recipient, "Mains failure", "h", kWhen, &message, &error))
        << c.recipient;
    EXPECT_NE(error.find(c.why), std::string::npos) << error;
  }
}

}  // namespace
