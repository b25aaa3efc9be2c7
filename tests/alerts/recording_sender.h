#pragma once
// A mail port that keeps every message, and can be told to fail. It answers
// at once, or, given a scheduler, `delay_ms` of simulated time later unless
// the handle it gave is gone.
#include <vector>

#include "alerts/mail_sender.h"
#include "common/error.h"
#include "common/sim_scheduler.h"
#include "net_support/posted_answer.h"

namespace vireluz {

class RecordingSender : public MailSender {
 public:
  RequestHandle send(const MailMessage& message, const SmtpSettings& smtp, Done done) override {
    ++attempts;
    std::optional<Text> result;
    if (fail) {
      result = Text("Erreur d'envoi du Mail d'alerte : connexion refusée");
    } else {
      sent.push_back(message);
      servers.push_back(smtp);
    }
    if (later) return testing::post_answer(*later, delay_ms, [done, result] { done(result); });
    done(result);
    return nullptr;
  }
  bool fail = false;
  int attempts = 0;
  SimScheduler* later = nullptr;
  std::int64_t delay_ms = 0;
  std::vector<MailMessage> sent;
  std::vector<SmtpSettings> servers;
};

}  // namespace vireluz
