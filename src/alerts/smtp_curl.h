#pragma once
// The mail port over libcurl's SMTP client.
//
// The message is a MIME text/plain mail in UTF-8, quoted-printable, with the
// subject as an RFC 2047 encoded word when it holds accents, and the header
// X-Priority: 1. Port 465 is implicit TLS (smtps); on any other port the
// connection is upgraded with STARTTLS when the server offers it. When a
// password is configured and the server offers AUTH, the client logs in with
// the configured user (the sender address); a server without AUTH gets no
// login. Line breaks in the subject are replaced by blanks; an address that
// holds a line break or a control character is refused, so that no text of the
// settings can add a line to the mail's header or a command to the exchange.
#include <cstdint>
#include <string>

#include "alerts/mail_sender.h"
#include "common/clock.h"

namespace vireluz {

class CurlMailSender : public MailSender {
 public:
  explicit CurlMailSender(const Clock& clock) : clock_(clock) {}

  // Limits of the exchange: the TCP connection must be made within
  // connect_timeout_ms, the whole exchange must end within total_timeout_ms.
  void set_timeouts(long connect_timeout_ms, long total_timeout_ms) {
    connect_timeout_ms_ = connect_timeout_ms;
    total_timeout_ms_ = total_timeout_ms;
  }

  void send(const MailMessage& message, const SmtpSettings& smtp) override;

 private:
  const Clock& clock_;
  long connect_timeout_ms_ = 300;
  long total_timeout_ms_ = 20000;
};

// The whole mail text (header lines, empty line, body), lines ended by CR LF.
// `local` is the local time of sending, `utc_offset_minutes` its offset from
// UTC; `message_id` goes into Message-ID between angle brackets. Throws
// VireluzError for an address that holds a line break or control character.
std::string build_mime_message(const MailMessage& message, const DateTime& local, int utc_offset_minutes,
                               const std::string& message_id);

// The address of an item of the recipient list for the SMTP envelope: the text
// between '<' and '>' when there is one, otherwise the item itself.
Text envelope_address(const Text& item);

}  // namespace vireluz
