#include "alerts/alert_engine.h"

#include <algorithm>
#include <string>
#include <utility>

#include "common/error.h"

namespace vireluz {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

// Index of the "Préavis EJP" quantity and of its only value item, "OUI".
constexpr int kKindPejp = static_cast<int>(MeasureKind::PEJP);
constexpr int kPejpItemOui = 0;

bool compare(int sign, std::int32_t value, std::int32_t threshold) {
  switch (sign) {
    case 0:
      return value < threshold;
    case 1:
      return value <= threshold;
    case 2:
      return value == threshold;
    case 3:
      return value > threshold;
    case 4:
      return value >= threshold;
    case 5:
      return value != threshold;
    default:
      return false;
  }
}

Text replace_all(const Text& text, const Text& from, const Text& to) {
  Text out;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t hit = text.find(from, pos);
    if (hit == Text::npos) break;
    out.append(text, pos, hit - pos);
    out += to;
    pos = hit + from.size();
  }
  out.append(text, pos, Text::npos);
  return out;
}

std::int64_t local_ms(const Clock& clock) {
  const auto utc = clock.now_utc_ms();
  return utc + std::int64_t{clock.utc_offset_minutes(utc)} * 60000;
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

}  // namespace

const Text AlertEngine::kRestartLine = w("Redémarrage automatique de l'ordinateur !");
const Text AlertEngine::kTestMailLine = "Test de la configuration des alertes Mail de Vireluz 2 compteurs";

std::optional<int> parse_time_of_day(const Text& t) {
  int fields[3];
  std::size_t pos = 0;
  for (int i = 0; i < 3; ++i) {
    if (i > 0) {
      if (pos >= t.size() || t[pos] != ':') return std::nullopt;
      ++pos;
    }
    const std::size_t start = pos;
    while (pos < t.size() && pos - start < 2 && t[pos] >= '0' && t[pos] <= '9') ++pos;
    if (pos == start) return std::nullopt;
    fields[i] = std::stoi(t.substr(start, pos - start));
  }
  if (pos != t.size() || fields[0] > 23 || fields[1] > 59 || fields[2] > 59) return std::nullopt;
  return ((fields[0] * 60 + fields[1]) * 60 + fields[2]) * 1000;
}

int reactivation_minutes(const Text& text) {
  const auto minutes = parse_int(text);
  if (!minutes) return 60;
  return std::clamp(*minutes, 1, 1440);
}

struct AlertEngine::Flight {
  bool test = false;
  std::vector<Text> body;
  std::vector<Text> give_back;  // what goes back to the buffer on failure
  MailSender::Done done;
};

AlertEngine::AlertEngine(Settings& settings, const MeasureTable& measures, Clock& clock, MailSender& sender,
                         TimerFactory& timers, UserMessages& messages)
    : settings_(settings),
      measures_(measures),
      clock_(clock),
      sender_(sender),
      messages_(messages),
      timer_(timers.create_timer("Timer_mail", 1000)),
      retry_timer_(timers.create_timer("Timer_mail_retry", kFirstRetryMs)) {
  timer_->set_handler([this] { Timer_mailTimer(); });
  retry_timer_->set_handler([this] { retry_timer_fired(); });
}

bool AlertEngine::alerts_running() const {
  return settings_.mail.ACTIF == 1 && settings_.mail.TABLEAU_VIDE != "OUI";
}

int AlertEngine::rows_to_walk() const {
  return std::clamp(settings_.AlertRowCount, 0, static_cast<int>(settings_.alert_table.size()));
}

void AlertEngine::mail_alerte() {
  if (!alerts_running()) return;
  bool fired = false;
  const int rows = rows_to_walk();
  for (int r = 0; r < rows; ++r) {
    const AlertRule& rule = settings_.alert_table[static_cast<std::size_t>(r)];
    // A row that does not hold a complete rule (a row added and never
    // validated, a hand-edited file) is not evaluated.
    const auto meter = parse_int(rule[alert_col::kCpt]);
    const auto kind = parse_int(rule[alert_col::kVar]);
    const auto sign = parse_int(rule[alert_col::kSigne]);
    const auto seuil = parse_int(rule[alert_col::kSeuil]);
    if (!meter || !kind || !sign || !seuil) continue;
    if (*meter < 0 || *meter > 1 || *kind < 0 || *kind > kKindPejp) continue;
    std::int32_t threshold = *seuil;
    if (*kind == kKindPejp) {
      // The value list of the EJP notice holds the single item "OUI", stored
      // as its index 0; the measured flag is 1 while the notice is announced.
      if (threshold != kPejpItemOui) continue;
      threshold = 1;
    }
    const std::int32_t value = measures_.v[static_cast<std::size_t>(*kind * 2 + *meter)];
    if (compare(*sign, value, threshold) && verifie_alerte(r, value)) fired = true;
  }
  if (fired) {
    pending_ = true;
    try_send();
  }
}

bool AlertEngine::in_window(const AlertRule& rule, const DateTime& now) const {
  if (rule[alert_col::kHoraire] != "1") return true;
  const auto start = parse_time_of_day(rule[alert_col::kDebut]);
  const auto end = parse_time_of_day(rule[alert_col::kFin]);
  // A window whose times cannot be read is never entered.
  if (!start || !end) return false;
  const int t = now.ms_of_day();
  return t > *start && t < *end;
}

bool AlertEngine::verifie_alerte(int row, std::int32_t value) {
  if (row < 0 || row >= static_cast<int>(settings_.alert_table.size())) return false;
  AlertRule& rule = settings_.alert_table[static_cast<std::size_t>(row)];
  const DateTime now = clock_.local_now();
  const bool window = in_window(rule, now);
  if (rule[alert_col::kActiver] == "1" && window && rule[alert_col::kReactivation] == "1") {
    Memo_alerte.push_back(rule[alert_col::kMessage]);
    rule[alert_col::kActiver] = "0";
    rule[alert_col::kEtatLibelle] = "Inactif";
    return true;
  }
  if (rule[alert_col::kHeureReactivation] == "0" && window && rule[alert_col::kReactivation] == "0") {
    Memo_alerte.push_back(replace_all(rule[alert_col::kMessage], "%V", std::to_string(value)));
    const std::int64_t now_ms = ms_from_civil(now);
    const std::int64_t minutes = reactivation_minutes(settings_.alerte.REACTIVATION);
    const Text rearm = long_time(civil_from_ms(now_ms + minutes * 60000));
    rule[alert_col::kHeureReactivation] = rearm;
    // Kept until the next re-arm check; bounded in case Timer_mail never runs.
    if (fired_since_check_.size() < 1024) fired_since_check_.emplace_back(rearm, floor_div(now_ms, 1000));
    return true;
  }
  return false;
}

void AlertEngine::Timer_mailTimer() {
  const std::int64_t now_ms = local_ms(clock_);
  const std::int64_t now_s = floor_div(now_ms, 1000);
  // The seconds this check stands for: those since the previous check, so
  // that a tick that comes late does not miss a re-arm time (the rule would
  // otherwise stay silent for a whole day). A clock that went back checks the
  // current second only.
  std::int64_t first_s = now_s;
  if (last_check_s_ && *last_check_s_ < now_s)
    first_s = std::max(*last_check_s_ + 1, now_s - kSecondsPerDay + 1);
  last_check_s_ = now_s;
  auto fired = std::move(fired_since_check_);
  fired_since_check_.clear();
  if (!alerts_running()) return;

  const int rows = rows_to_walk();
  for (int r = 0; r < rows; ++r) {
    Text& cell = settings_.alert_table[static_cast<std::size_t>(r)][alert_col::kHeureReactivation];
    if (cell == "0") continue;
    const auto t = parse_time_of_day(cell);
    // Only exact "hh:mm:ss" texts ever match, as a text comparison would.
    if (!t || cell.size() != 8) continue;
    const std::int64_t t_s = *t / 1000;
    const std::int64_t back = ((now_s - t_s) % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay;
    const std::int64_t match_s = now_s - back;  // latest second <= now with that time of day
    if (match_s < first_s) continue;
    // A time written in or after the matched second is the next day's
    // occurrence (a 1440-minute delay), not this one.
    const bool written_later = std::any_of(
        fired.begin(), fired.end(), [&](const auto& f) { return f.first == cell && f.second >= match_s; });
    if (written_later) continue;
    cell = "0";
  }
}

MailMessage AlertEngine::build_message(const std::vector<Text>& body) const {
  MailMessage m;
  m.from = settings_.mail.EMETTEUR;
  m.to = split_address_list(settings_.mail.DESTINATAIRE);
  m.subject = settings_.mail.ENTETE;
  m.body = body;
  return m;
}

void AlertEngine::envoie_mail() {
  pending_ = true;
  retry_timer_->set_enabled(false);
  try_send();
}

void AlertEngine::try_send() {
  if (!pending_ || in_flight_ > 0 || retry_timer_->enabled()) return;
  pending_ = false;
  if (Memo_alerte.size() <= 1) return;  // nothing but the header: its lines went with a test mail
  hand_over(false, Memo_alerte, {});
}

void AlertEngine::hand_over(bool test, std::vector<Text> give_back_on_failure, MailSender::Done done) {
  auto flight = std::make_shared<Flight>();
  flight->test = test;
  flight->body = std::move(Memo_alerte);
  flight->give_back = std::move(give_back_on_failure);
  flight->done = std::move(done);
  reset_memo();  // lines that fire from now on go to the next mail
  if (!test) ++in_flight_;

  SmtpSettings smtp;
  smtp.host = settings_.mail.SMTP;
  smtp.port = settings_.mail.PORT_SMTP;
  smtp.user = settings_.mail.EMETTEUR;
  smtp.password = settings_.mail.PASSWORD;
  smtp.tls = effective_tls(settings_.mail.TLS, settings_.mail.PASSWORD);
  smtp.ca_file = settings_.mail.CA;
  const MailMessage message = build_message(flight->body);
  if (const auto bad = check_envelope(message)) return completed(flight, bad);
  try {
    mails_.add([&](std::uint64_t id) {
      return sender_.send(message, smtp, [this, id, flight](const std::optional<Text>& error) {
        mails_.close(id);
        completed(flight, error);
      });
    });
  } catch (const std::exception& e) {
    completed(flight, Text(e.what()));
  }
}

void AlertEngine::completed(const std::shared_ptr<Flight>& flight, const std::optional<Text>& error) {
  if (!flight->test) --in_flight_;
  if (!error) {
    failures_ = 0;
    retry_timer_->set_enabled(false);
  } else {
    // The lines go back ahead of those that fired meanwhile (the buffer's
    // first line is the header, already at the head of the returned lines).
    std::vector<Text> merged = std::move(flight->give_back);
    if (!merged.empty()) {
      if (!Memo_alerte.empty()) merged.insert(merged.end(), Memo_alerte.begin() + 1, Memo_alerte.end());
      Memo_alerte = std::move(merged);
      if (Memo_alerte.size() > 1) pending_ = true;
    }
    if (!flight->test) {
      ++failures_;
      const std::int64_t delay =
          std::min<std::int64_t>(std::int64_t{kFirstRetryMs} << std::min(failures_ - 1, 16), kMaxRetryMs);
      retry_timer_->set_interval(static_cast<int>(delay));
      retry_timer_->set_enabled(true);
    }
    messages_.show_message(UserMessage{MessageIcon::Error, kAppTitle, *error});
  }
  if (flight->done) flight->done(error);
  // After a failed test mail the lines wait for the next alert, as before.
  if (!error || !flight->test) try_send();
}

void AlertEngine::retry_timer_fired() {
  retry_timer_->set_enabled(false);
  if (settings_.mail.ACTIF == 1) try_send();
}

void AlertEngine::reset_memo() {
  Memo_alerte.clear();
  Memo_alerte.push_back(settings_.mail.ENTETE);
}

void AlertEngine::ensure_header() {
  if (Memo_alerte.empty()) Memo_alerte.push_back(settings_.mail.ENTETE);
}

void AlertEngine::test_mail(MailSender::Done done) {
  std::vector<Text> before = Memo_alerte;
  const MailSettings& m = settings_.mail;
  Memo_alerte.push_back(kTestMailLine);
  Memo_alerte.push_back("");
  Memo_alerte.push_back("Emetteur    : " + m.EMETTEUR);
  Memo_alerte.push_back("Destinataire: " + m.DESTINATAIRE);
  Memo_alerte.push_back("Serveur SMTP: " + m.SMTP);
  Memo_alerte.push_back("Port SMTP   : " + m.PORT_SMTP);
  // Lines that were waiting go out with the test mail, as they always did;
  // on failure they come back without the test lines.
  pending_ = false;
  hand_over(true, std::move(before), std::move(done));
}

bool AlertEngine::restart_mail(const DateTime& now) {
  if (settings_.alerte.REDEMARRAGE_PC != 1 || settings_.mail.ACTIF != 1 || RestartMailSent) return false;
  static const Text kA = w(" à ");
  Memo_alerte.push_back(settings_.mail.ENTETE);
  Memo_alerte.push_back(kRestartLine);
  Memo_alerte.push_back("le " + short_date(now) + kA + long_time(now));
  RestartMailSent = true;
  envoie_mail();
  return true;
}

void AlertEngine::reading_started() {
  if (settings_.mail.ACTIF != 1) return;
  for (AlertRule& rule : settings_.alert_table) rule[alert_col::kHeureReactivation] = "0";
  start_timer();
}

void AlertEngine::start_timer() {
  if (!timer_->enabled()) timer_->set_enabled(true);
}

}  // namespace vireluz
