#pragma once
// The mail port: one message handed to an SMTP client in one exchange, which
// runs without blocking; the result comes back later through a callback on
// the same thread. The program uses the libcurl client (smtp_curl.h); tests
// record the messages and complete them when they choose.
#include <functional>
#include <optional>
#include <vector>

#include "common/io_loop.h"
#include "common/text.h"

namespace vireluz {

struct MailMessage {
  Text from;             // sender address
  std::vector<Text> to;  // recipient addresses, one per item
  Text subject;
  std::vector<Text> body;  // lines, without line ends
};

// CONFIG_MAIL.TLS: how the connection is protected.
enum class MailTls {
  kNone = 0,      // "Aucun": plain SMTP (port 465 stays implicit TLS)
  kIfOffered = 1, // "Si proposé": STARTTLS when the server offers it
  kRequired = 2,  // "Obligatoire": STARTTLS or implicit TLS, certificate verified
};

// The choice in effect for a TLS setting as stored (-1 or any other value:
// not chosen yet): "Obligatoire" when a password is set, "Si proposé" otherwise.
MailTls effective_tls(int stored, const Text& password);

struct SmtpSettings {
  Text host;
  Text port;  // decimal text, as stored
  Text user;
  Text password;  // clear; empty: no login
  MailTls tls = MailTls::kIfOffered;
  Text ca_file;  // CA certificates (PEM) to verify the server with; empty: the system's
};

class MailSender {
 public:
  // Called once per send(): nullopt when the server took the mail, otherwise
  // the French text of the failure.
  using Done = std::function<void(const std::optional<Text>& error)>;

  virtual ~MailSender() = default;
  // Starts one SMTP exchange for the message. Settings that cannot make an
  // exchange (bad server name or port) throw VireluzError at once; any later
  // failure (no connection, refusal, time-out) comes through `done`.
  // Destroying the returned handle cancels the exchange and closes its
  // connection; `done` is never called after, and the handle may be
  // destroyed from inside `done`. A double that answers before send()
  // returns gives an empty handle.
  virtual RequestHandle send(const MailMessage& message, const SmtpSettings& smtp, Done done) = 0;
};

// The addresses of a recipient list "a@x, b@y": split at commas, blanks
// trimmed, empty items dropped.
std::vector<Text> split_address_list(const Text& list);

// The address of an item of the recipient list for the SMTP envelope: the text
// between '<' and '>' when there is one, otherwise the item itself.
Text envelope_address(const Text& item);

// Checks the sender and the recipients before anything is sent: an envelope
// address must be non-empty and hold no blank, no control character and none
// of "<>" (which would close the address and add parameters to the SMTP
// command). Returns the French message of the first fault, nullopt when all
// are good.
std::optional<Text> check_envelope(const MailMessage& message);

}  // namespace vireluz
