#pragma once
// A mail port that keeps every message, and can be told to fail.
#include <vector>

#include "alerts/mail_sender.h"
#include "common/error.h"

namespace vireluz {

class RecordingSender : public MailSender {
 public:
  void send(const MailMessage& message, const SmtpSettings& smtp) override {
    if (fail) throw VireluzError("Erreur d'envoi du Mail d'alerte : connexion refusée");
    sent.push_back(message);
    servers.push_back(smtp);
  }
  bool fail = false;
  std::vector<MailMessage> sent;
  std::vector<SmtpSettings> servers;
};

}  // namespace vireluz
