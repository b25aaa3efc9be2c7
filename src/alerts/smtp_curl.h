#pragma once
// The mail port over libcurl's SMTP client, on the shared multi handle: the
// exchange runs on the event loop without blocking it.
//
// The message is a MIME text/plain mail in UTF-8, quoted-printable, with the
// subject as RFC 2047 encoded words when it holds accents (folded onto lines
// of at most 78 characters either way), and the header X-Priority: 1.
//
// Protection (SmtpSettings::tls): port 465, or a server written
// "smtps://name", is implicit TLS (smtps); otherwise "Aucun" speaks plain SMTP, "Si proposé" upgrades with STARTTLS
// when the server offers it, "Obligatoire" requires STARTTLS. A password is
// only ever sent over TLS whose certificate was verified (against the
// system's store, or the CA file when one is set), unless "Aucun" was chosen;
// without a password, "Si proposé" accepts a certificate it cannot verify
// (a home relay's own certificate). The client logs in with the configured
// user (the sender address) when a password is set and the server offers
// AUTH. Line breaks in the subject are replaced by blanks; an address that
// holds a line break or a control character is refused, so that no text of
// the settings can add a line to the mail's header or a command to the
// exchange.
#include <cstdint>
#include <string>

#include "alerts/mail_sender.h"
#include "common/clock.h"
#include "common/curl_multi_curl.h"

namespace vireluz {

class CurlMailSender : public MailSender {
 public:
  CurlMailSender(const Clock& clock, CurlMulti& multi) : clock_(clock), multi_(multi) {
    limits_.connect_ms = 300;
    limits_.total_ms = 30000;
  }

  // Limits of the exchange: name lookup, TCP connection once the name is
  // known, whole exchange.
  void set_limits(const TransferLimits& limits) { limits_ = limits; }

  void send(const MailMessage& message, const SmtpSettings& smtp, Done done) override;

 private:
  const Clock& clock_;
  CurlMulti& multi_;
  TransferLimits limits_;
};

// The whole mail text (header lines, empty line, body), lines ended by CR LF.
// `local` is the local time of sending, `utc_offset_minutes` its offset from
// UTC; `message_id` goes into Message-ID between angle brackets. Throws
// VireluzError for an address that holds a line break or control character.
std::string build_mime_message(const MailMessage& message, const DateTime& local, int utc_offset_minutes,
                               const std::string& message_id);


}  // namespace vireluz
