#pragma once
// The mail port over libcurl: libcurl connects and runs the SMTP set-up
// (greeting, EHLO, STARTTLS or implicit TLS, AUTH), then this client sends
// the envelope, the data and QUIT itself over that connection, watching the
// socket from the event loop: no step waits for the server while holding the
// loop. Each mail has a multi handle of its own, on the loop of the one it is
// given, so that no other transfer's housekeeping (libcurl closes idle cached
// connections it takes for dead) can reach the connection the mail holds.
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
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "alerts/mail_sender.h"
#include "common/clock.h"
#include "common/curl_multi_curl.h"

namespace vireluz {

class CurlMailSender : public MailSender {
 public:
  // `multi` gives the event loop; it must outlive this sender.
  CurlMailSender(const Clock& clock, CurlMulti& multi);
  ~CurlMailSender() override;

  // Limits of the exchange: name lookup, TCP connection once the name is
  // known, whole exchange.
  void set_limits(const TransferLimits& limits) { limits_ = limits; }

  void send(const MailMessage& message, const SmtpSettings& smtp, Done done) override;

  // Mails on their way (until QUIT is answered or the connection closed).
  std::size_t running() const { return sessions_.size(); }

  struct Session;

 private:
  void connected(Session* s, const TransferResult& r);
  void step(Session* s);
  void on_ready(Session* s);
  void on_reply(Session* s, int code, const std::string& text);
  void fail(Session* s, const Text& why);
  void report(Session* s, const std::optional<Text>& error);
  void end(Session* s);

  const Clock& clock_;
  IoLoop& loop_;
  TransferLimits limits_;
  std::list<std::unique_ptr<Session>> sessions_;
  std::vector<std::unique_ptr<Session>> ended_;  // freed from the loop, outside their callbacks
  std::unique_ptr<IoLoop::Alarm> reaper_;
};

// The whole mail text (header lines, empty line, body), lines ended by CR LF.
// `local` is the local time of sending, `utc_offset_minutes` its offset from
// UTC; `message_id` goes into Message-ID between angle brackets. Throws
// VireluzError for an address that holds a line break or control character.
std::string build_mime_message(const MailMessage& message, const DateTime& local, int utc_offset_minutes,
                               const std::string& message_id);


}  // namespace vireluz
