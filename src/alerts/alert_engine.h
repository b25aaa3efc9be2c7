#pragma once
// Alert evaluation and the alert mails: after every decoded frame each rule of
// the alert table is compared with the MeasureTable; the messages of the rules
// that fire go out together in one mail. Fired rules fall silent until their
// re-arm time ("Après tempo.", checked once a second by Timer_mail) or until
// the user enables them again ("Manuel").
//
// Columns of a rule (all text): 4 message, 5 meter index, 6 quantity
// (MeasureKind), 7 sign index, 8 threshold, 10 state caption, 11 re-arm time
// ("0" when armed), 12 enable flag of a manual rule, 13 re-arm mode (0 delay,
// 1 manual), 14 time window on, 15/16 window start and end "hh:mm:ss".
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "alerts/mail_sender.h"
#include "common/clock.h"
#include "common/text.h"
#include "common/timer.h"
#include "common/user_messages.h"
#include "config/settings.h"
#include "meter/meter_slot.h"

namespace vireluz {

// Column numbers of an AlertRule.
namespace alert_col {
inline constexpr int kCptLibelle = 0, kVarLibelle = 1, kSigneLibelle = 2, kValeurLibelle = 3, kMessage = 4,
                     kCpt = 5, kVar = 6, kSigne = 7, kSeuil = 8, kReactivationLibelle = 9, kEtatLibelle = 10,
                     kHeureReactivation = 11, kActiver = 12, kReactivation = 13, kHoraire = 14, kDebut = 15,
                     kFin = 16;
}  // namespace alert_col

// Milliseconds since midnight of a time of day "hh:mm:ss" (hours 0-23, one or
// two digits per field); nullopt when the text is not such a time.
std::optional<int> parse_time_of_day(const Text& t);

// The re-arm delay in minutes from CONFIG_ALERTE.REACTIVATION: an integer is
// kept within 1..1440; a text that is not an integer reads as 60.
int reactivation_minutes(const Text& text);

class AlertEngine {
 public:
  AlertEngine(Settings& settings, const MeasureTable& measures, Clock& clock, MailSender& sender,
              TimerFactory& timers, UserMessages& messages);

  // Back-off after a failed mail: the first retry after kFirstRetryMs, each
  // following one twice as late, at most kMaxRetryMs.
  static constexpr int kFirstRetryMs = 60000;
  static constexpr int kMaxRetryMs = 3600000;

  // True when the evaluation and the re-arm check run: CONFIG_MAIL.ACTIF is 1
  // and the saved table is not empty (TABLEAU VIDE is not "OUI").
  bool alerts_running() const;

  // The evaluation pass, called at the end of every decoded frame. Does
  // nothing unless alerts_running(). When a rule fired, the buffer becomes one
  // mail and the header goes back as its only line; while a mail is on its
  // way (or a failed one waits for its retry) the lines stay in the buffer
  // for the next mail. A failed mail gives its lines back to the buffer,
  // ahead of the newer ones, shows its error once and is retried with
  // back-off.
  void mail_alerte();

  // Fires the rule of `row` for the measured `value` when its state and time
  // window allow it: appends its message to Memo_alerte and silences it.
  bool verifie_alerte(int row, std::int32_t value);

  // Handler of Timer_mail (every second): re-arms the "Après tempo." rules
  // whose re-arm time has come.
  void Timer_mailTimer();

  // Sends Memo_alerte as one mail (subject and first line: the header) as
  // soon as no other mail is on its way, without waiting for a back-off.
  void envoie_mail();

  // Empties Memo_alerte and puts CONFIG_MAIL.ENTETE in it as its only line.
  void reset_memo();
  // Puts the header in an empty buffer (lines of a failed mail are kept).
  void ensure_header();

  // The test mail of the alert window, with the mail settings already taken
  // into Settings: sent at once, whatever mail is on its way. On failure the
  // buffer gets back what it held before (without the test lines) and the
  // error is shown; `done` (optional) hears the outcome.
  void test_mail(MailSender::Done done = {});

  // The mail sent when the program is started automatically after a PC
  // restart: only when REDEMARRAGE PC and ACTIF are 1 and it was not sent yet
  // in this run. Returns true when it was handed to the mail client; a
  // failure keeps its lines for the next mail, as for an alert.
  bool restart_mail(const DateTime& now);

  // A mail is on its way (alerts or restart mail).
  bool mail_in_flight() const { return in_flight_ > 0; }
  // Lines wait for a mail (a retry after a failure, or the mail on its way).
  bool mail_pending() const { return pending_; }
  // Consecutive failed mails, 0 after a success.
  int failures() const { return failures_; }
  bool RestartMailSent = false;

  // Start of reading: with ACTIF 1, every rule is re-armed (column 11 "0")
  // and Timer_mail is started.
  void reading_started();

  // Starts Timer_mail (period 1000 ms) unless it runs already; nothing stops it.
  void start_timer();
  const Timer& timer() const { return *timer_; }

  // The lines of the next mail.
  std::vector<Text> Memo_alerte;

  static const Text kRestartLine;   // "Redémarrage automatique de l'ordinateur !"
  static const Text kTestMailLine;  // "Test de la configuration des alertes Mail de Vireluz 2 compteurs"

 private:
  struct Flight;
  bool in_window(const AlertRule& rule, const DateTime& now) const;
  int rows_to_walk() const;
  MailMessage build_message(const std::vector<Text>& body) const;
  void try_send();
  void hand_over(bool test, std::vector<Text> give_back_on_failure, MailSender::Done done);
  void completed(const std::shared_ptr<Flight>& flight, const std::optional<Text>& error);
  void retry_timer_fired();

  Settings& settings_;
  const MeasureTable& measures_;
  Clock& clock_;
  MailSender& sender_;
  UserMessages& messages_;
  std::unique_ptr<Timer> timer_;
  std::unique_ptr<Timer> retry_timer_;
  int in_flight_ = 0;
  bool pending_ = false;
  int failures_ = 0;
  RequestSet mails_;  // cancelled with the engine
  // Local second (ms since the epoch / 1000) of the previous re-arm check.
  std::optional<std::int64_t> last_check_s_;
  // Re-arm times written since the previous check, with the local second in
  // which each was written: a 1440-minute delay gives the current time text,
  // which must wait for the next day.
  std::vector<std::pair<Text, std::int64_t>> fired_since_check_;
};

}  // namespace vireluz
