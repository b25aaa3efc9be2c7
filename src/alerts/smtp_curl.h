#pragma once
// The mail port over libcurl: libcurl connects and runs the SMTP set-up
// (greeting, EHLO, STARTTLS or implicit TLS, AUTH), then this client sends
// the envelope, the data and QUIT itself over that connection, watching the
// socket from the event loop: no step waits for the server while holding the
// loop. Each mail has a multi handle of its own, on the loop of the one it is
// given, so that no other transfer's housekeeping (libcurl closes idle cached
// connections it takes for dead) can reach the connection the mail holds.
//
// Replies are read as they arrive into a fixed buffer and parsed in place:
// a reply longer than kMaxReply ends the exchange, whether it comes in one
// burst or in many, and nothing more than one read is ever buffered. Each
// reply must come within the reply limit, the whole exchange within its own.
//
// Protection (SmtpSettings::tls): port 465, or a server written
// "smtps://name", is implicit TLS (smtps); otherwise "Aucun" speaks plain
// SMTP, "Si proposé" upgrades with STARTTLS when the server offers it,
// "Obligatoire" requires STARTTLS. A password is only ever sent over TLS
// whose certificate was verified (against the system's store, or the CA file
// when one is set), unless "Aucun" was chosen; without a password, "Si
// proposé" accepts a certificate it cannot verify (a home relay's own
// certificate). The client logs in with the configured user (the sender
// address) when a password is set and the server offers AUTH. The message is
// built by build_mime_message (mime.h).
#include <cstddef>

#include "alerts/mail_sender.h"
#include "common/clock.h"
#include "common/curl_multi_curl.h"

namespace vireluz {

class CurlMailSender : public MailSender {
 public:
  // `multi` gives the event loop; the loop must outlive the mails.
  CurlMailSender(const Clock& clock, CurlMulti& multi);

  RequestHandle send(const MailMessage& message, const SmtpSettings& smtp, Done done) override;

  // The longest reply taken from a server (SMTP reply lines are at most 512 bytes).
  static constexpr std::size_t kMaxReply = 64 * 1024;

 private:
  const Clock& clock_;
  IoLoop& loop_;
  TransferLimits limits_{5000, 300, 30000, 10000};
};

}  // namespace vireluz
