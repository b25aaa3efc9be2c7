#pragma once
// The mail port: one message handed to an SMTP client in one exchange. The
// program uses the libcurl client (smtp_curl.h); tests record the messages.
#include <vector>

#include "common/text.h"

namespace vireluz {

struct MailMessage {
  Text from;             // sender address
  std::vector<Text> to;  // recipient addresses, one per item
  Text subject;
  std::vector<Text> body;  // lines, without line ends
};

struct SmtpSettings {
  Text host;
  Text port;  // decimal text, as stored
  Text user;
  Text password;  // clear; empty: no login
};

class MailSender {
 public:
  virtual ~MailSender() = default;
  // Sends the message in one SMTP exchange. Throws VireluzError with a French
  // text on any failure (no connection, refusal, lost connection).
  virtual void send(const MailMessage& message, const SmtpSettings& smtp) = 0;
};

// The addresses of a recipient list "a@x, b@y": split at commas, blanks
// trimmed, empty items dropped.
std::vector<Text> split_address_list(const Text& list);

}  // namespace vireluz
