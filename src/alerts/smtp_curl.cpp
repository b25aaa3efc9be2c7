#include "alerts/smtp_curl.h"

#include <curl/curl.h>
#include <strings.h>

#include <cctype>
#include <cstdio>
#include <optional>
#include <random>

#include "alerts/mime.h"
#include "common/error.h"

namespace vireluz {

namespace {

const char kCrLf[] = "\r\n";
// How much of a refusal's text goes into the error message.
constexpr std::size_t kShownReply = 200;

// What the easy handle points to while libcurl sets the connection up.
struct Exchange {
  std::string url, user, password, ca_file;
};

// The message as SMTP data: its lines already end with CR LF; a '.' opening
// a line is doubled, and the "." line ends the data.
std::string smtp_data(const std::string& message) {
  std::string out;
  out.reserve(message.size() + 8);
  bool line_start = true;
  for (char c : message) {
    if (line_start && c == '.') out += '.';
    out += c;
    line_start = c == '\n';
  }
  if (!out.empty() && !line_start) out += kCrLf;
  return out + "." + kCrLf;
}

std::string random_id() {
  std::random_device rd;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08x%08x", rd(), rd());
  return buf;
}

// One mail on its way: libcurl sets the connection up, then the envelope,
// the data and QUIT go over it one command at a time. The outcome is handed
// over from an alarm, outside the multi handle's own calls, so that the
// owner may drop the session from its callback.
class Session : public Request {
 public:
  Session(IoLoop& loop, const TransferLimits& limits, Text prefix, bool password, MailSender::Done done)
      : loop_(loop),
        limits_(limits),
        multi_(std::make_unique<CurlMulti>(loop)),
        prefix_(std::move(prefix)),
        password_(password),
        done_(std::move(done)) {
    total_alarm_ = loop.alarm([this] { timed_out(NetStep::Exchange, limits_.total_ms); });
    reply_alarm_ = loop.alarm([this] { timed_out(NetStep::Reply, limits_.reply_ms); });
    report_alarm_ = loop.alarm([this] { report(); });
    total_alarm_->start(limits.total_ms);
  }

  void start(CurlMulti::Job job, std::string from, std::vector<std::string> rcpt, std::string data) {
    from_ = std::move(from);
    rcpt_ = std::move(rcpt);
    data_ = std::move(data);
    transfer_ = multi_->connect(std::move(job), [this](const TransferResult& r) { connected(r); });
  }

 private:
  enum class Step { Connect, Mail, Rcpt, Data, Body, Quit };

  void connected(const TransferResult& r) {
    if (!r.ok()) return fail(connect_failure(r));
    easy_ = static_cast<CURL*>(r.connection);
    curl_socket_t fd = CURL_SOCKET_BAD;
    curl_easy_getinfo(easy_, CURLINFO_ACTIVESOCKET, &fd);
    if (fd == CURL_SOCKET_BAD) return fail(w("connexion au serveur perdue."));
    watch_ = loop_.watch(fd, IoLoop::kRead, [this](int) { pump(); });
    step_ = Step::Mail;
    command();
    pump();
  }

  Text connect_failure(const TransferResult& r) const {
    if (r.timed_out != NetStep::None) return r.error + ".";
    if (r.code == CURLE_USE_SSL_FAILED) {
      Text text = w("le serveur ne propose pas STARTTLS");
      if (password_) text += w(" : le mot de passe n'est pas envoyé sans chiffrement");
      return text + w(" (choix « Aucun » dans la fenêtre des alertes pour une connexion non chiffrée).");
    }
    if (r.code == CURLE_PEER_FAILED_VERIFICATION) {
      Text text = r.error + w(". Indiquez le fichier de son autorité de certification (clé CA)");
      if (password_) text += w("; le mot de passe n'a pas été envoyé");
      return text + ".";
    }
    Text text = r.error;
    if (r.response_code != 0) text += w(" (réponse du serveur ") + std::to_string(r.response_code) + ")";
    return text + ".";
  }

  // The command of the current step, to send; its reply is awaited from now.
  void command() {
    switch (step_) {
      case Step::Mail:
        out_ = "MAIL FROM:" + from_ + kCrLf;
        break;
      case Step::Rcpt:
        out_ = "RCPT TO:" + rcpt_[next_rcpt_] + kCrLf;
        break;
      case Step::Data:
        out_ = std::string("DATA") + kCrLf;
        break;
      case Step::Body:
        out_ = std::move(data_);
        break;
      case Step::Quit:
        out_ = std::string("QUIT") + kCrLf;
        break;
      case Step::Connect:
        return;
    }
    sent_ = 0;
    reply_alarm_->start(limits_.reply_ms);
  }

  // Sends what is left of the command and reads what the server sent, a
  // bounded number of reads at a time; the socket stays watched for the rest.
  void pump() {
    for (int round = 0; round < 16 && !over_; ++round) {
      while (sent_ < out_.size()) {
        std::size_t n = 0;
        const CURLcode rc = curl_easy_send(easy_, out_.data() + sent_, out_.size() - sent_, &n);
        if (rc == CURLE_AGAIN) break;
        if (rc != CURLE_OK) return fail(curl_failure_text(rc, "") + ".");
        sent_ += n;
      }
      char buf[4096];
      std::size_t n = 0;
      const CURLcode rc = curl_easy_recv(easy_, buf, sizeof buf, &n);
      if (rc == CURLE_AGAIN) break;
      if (rc != CURLE_OK) return fail(curl_failure_text(rc, "") + ".");
      if (n == 0) return fail(w("le serveur a fermé la connexion."));
      parse(buf, n);
    }
    if (!over_) watch_->set_events(IoLoop::kRead | (sent_ < out_.size() ? IoLoop::kWrite : 0));
  }

  // Reads the bytes as they come: a line "250-..." goes on, "250 ..." ends
  // the reply. Only the first bytes of a line and the start of the reply's
  // text are kept.
  void parse(const char* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      const char c = bytes[i];
      if (++reply_size_ > CurlMailSender::kMaxReply)
        return fail(w("réponse du serveur trop longue (plus de ") +
                    std::to_string(CurlMailSender::kMaxReply / 1024) +
                    w(" Kio) : ce n'est pas un serveur SMTP."));
      if (c == '\r') continue;
      if (c != '\n') {
        if (line_ < 4)
          head_[line_] = c;
        else if (text_.size() < kShownReply)
          text_ += c;
        ++line_;
        continue;
      }
      const bool digits = line_ >= 3 && std::isdigit(static_cast<unsigned char>(head_[0])) &&
                          std::isdigit(static_cast<unsigned char>(head_[1])) &&
                          std::isdigit(static_cast<unsigned char>(head_[2]));
      const char sep = line_ > 3 ? head_[3] : ' ';
      line_ = 0;
      if (!digits || (sep != ' ' && sep != '-'))
        return fail(w("réponse du serveur invalide (pas une réponse SMTP)."));
      if (sep == '-') {
        if (text_.size() < kShownReply) text_ += ' ';
        continue;
      }
      const int code = (head_[0] - '0') * 100 + (head_[1] - '0') * 10 + (head_[2] - '0');
      const std::string text = std::move(text_);
      text_.clear();
      reply_size_ = 0;
      // Nothing may follow a reply before the next command is sent.
      if (i + 1 < n && step_ != Step::Body && step_ != Step::Quit)
        return fail(w("réponse inattendue du serveur (envoyée avant la commande)."));
      return on_reply(code, text);
    }
  }

  void on_reply(int code, const std::string& text) {
    const auto refused = [&](const char* what) {
      Text why = w(what);
      if (!text.empty()) why += " - " + flatten(utf8_to_cp1252(text));
      fail(why + w(" (réponse du serveur ") + std::to_string(code) + ")");
    };
    switch (step_) {
      case Step::Mail:
        if (code != 250) return refused("expéditeur refusé (MAIL FROM)");
        step_ = Step::Rcpt;
        break;
      case Step::Rcpt:
        // One refused recipient stops the mail, as none of them would know
        // the others did not get it.
        if (code != 250 && code != 251) return refused("destinataire refusé (RCPT TO)");
        if (++next_rcpt_ == rcpt_.size()) step_ = Step::Data;
        break;
      case Step::Data:
        if (code != 354) return refused("envoi du message refusé (DATA)");
        step_ = Step::Body;
        break;
      case Step::Body:
        if (code != 250) return refused("message refusé par le serveur");
        outcome_.emplace(std::nullopt);
        report_alarm_->start(0);
        step_ = Step::Quit;
        break;
      case Step::Quit:
      case Step::Connect:
        return end();
    }
    command();
  }

  void timed_out(NetStep step, long limit_ms) { fail(timeout_text(step, limit_ms) + "."); }

  // Ends the exchange; a failure before the mail was taken is its outcome.
  void fail(const Text& why) {
    if (!outcome_) {
      outcome_.emplace(prefix_ + why);
      report_alarm_->start(0);
    }
    end();
  }

  // Closes the connection at once (from its own callbacks too).
  void end() {
    over_ = true;
    watch_.reset();
    reply_alarm_->stop();
    total_alarm_->stop();
    transfer_.reset();
    easy_ = nullptr;
  }

  void report() {
    const MailSender::Done done = std::move(done_);
    done_ = nullptr;
    if (!done || !outcome_) return;
    const std::optional<Text> outcome = *outcome_;  // the session may go in `done`
    try {
      done(outcome);
    } catch (...) {
      // The engine reports its own failures; nothing may reach the loop.
    }
  }

  IoLoop& loop_;
  TransferLimits limits_;
  std::unique_ptr<CurlMulti> multi_;  // first: goes after the connection it holds
  RequestHandle transfer_;
  CURL* easy_ = nullptr;
  std::unique_ptr<IoLoop::Watch> watch_;
  std::unique_ptr<IoLoop::Alarm> total_alarm_, reply_alarm_, report_alarm_;
  Text prefix_;
  bool password_;
  MailSender::Done done_;
  std::optional<std::optional<Text>> outcome_;
  Step step_ = Step::Connect;
  bool over_ = false;
  std::string from_;
  std::vector<std::string> rcpt_;
  std::size_t next_rcpt_ = 0;
  std::string data_;
  std::string out_;  // the command being sent
  std::size_t sent_ = 0;
  // The reply being read.
  char head_[4] = {0};
  std::size_t line_ = 0;
  std::size_t reply_size_ = 0;
  std::string text_;
};

}  // namespace

CurlMailSender::CurlMailSender(const Clock& clock, CurlMulti& multi) : clock_(clock), loop_(multi.loop()) {}

RequestHandle CurlMailSender::send(const MailMessage& message, const SmtpSettings& smtp, Done done) {
  Text host(trim(smtp.host));
  // "smtps://name": TLS from the first byte, whatever the port.
  bool implicit_tls = false;
  if (host.size() > 8 && strncasecmp(host.c_str(), "smtps://", 8) == 0) {
    implicit_tls = true;
    host.erase(0, 8);
  } else if (host.size() > 7 && strncasecmp(host.c_str(), "smtp://", 7) == 0) {
    host.erase(0, 7);
  }
  const auto port = parse_int(Text(trim(smtp.port)));
  const Text where = host + ":" + Text(trim(smtp.port));
  if (host.empty() || has_control_char(host) || host.find_first_of(" /@?#") != Text::npos)
    throw VireluzError(w("Serveur SMTP invalide : \"") + flatten(host) + "\"");
  if (!port || *port < 1 || *port > 65535)
    throw VireluzError(w("Port SMTP invalide : \"") + flatten(smtp.port) + "\"");
  if (auto bad = check_envelope(message)) throw VireluzError(*bad);

  const DateTime local = clock_.local_now();
  const auto utc = clock_.now_utc_ms();
  const std::size_t at = message.from.rfind('@');
  Text domain = at == Text::npos ? Text("vireluz") : envelope_address(message.from.substr(at + 1));
  if (domain.empty() || has_control_char(domain)) domain = "vireluz";
  std::string data =
      smtp_data(build_mime_message(message, local, clock_.utc_offset_minutes(utc),
                                   random_id() + "." + std::to_string(utc) + "@" + cp1252_to_utf8(domain)));
  std::vector<std::string> rcpt;
  for (const Text& r : message.to) rcpt.push_back("<" + envelope_address(r) + ">");

  CURL* c = curl_easy_init();
  if (!c) throw VireluzError(w("Envoi du Mail impossible : initialisation du client SMTP échouée."));

  auto ex = std::make_shared<Exchange>();
  implicit_tls = implicit_tls || *port == 465;
  const std::string host_part = host.find(':') != Text::npos && host.front() != '[' ? "[" + host + "]" : host;
  ex->url = (implicit_tls ? "smtps://" : "smtp://") + host_part + ":" + std::to_string(*port);

  const bool password = !smtp.password.empty();
  // TLS protects the password only when the certificate is verified; a
  // password goes over a plain connection only when "Aucun" was chosen.
  const bool protect_password = password && smtp.tls != MailTls::kNone;
  const bool verify = protect_password || smtp.tls == MailTls::kRequired;
  long use_ssl = CURLUSESSL_NONE;
  if (smtp.tls == MailTls::kIfOffered) use_ssl = CURLUSESSL_TRY;
  if (smtp.tls == MailTls::kRequired || protect_password) use_ssl = CURLUSESSL_ALL;

  curl_easy_setopt(c, CURLOPT_URL, ex->url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  // libcurl stops once connected, greeted, secured and logged in; the rest
  // of the exchange is sent from here.
  curl_easy_setopt(c, CURLOPT_CONNECT_ONLY, 1L);
  // One connection per mail: a connection left open by an earlier mail may
  // have been accepted under other rules (an unverified certificate).
  curl_easy_setopt(c, CURLOPT_FRESH_CONNECT, 1L);
  if (!implicit_tls) curl_easy_setopt(c, CURLOPT_USE_SSL, use_ssl);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, verify ? 1L : 0L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, verify ? 2L : 0L);
  if (!smtp.ca_file.empty()) {
    ex->ca_file = cp1252_to_utf8(smtp.ca_file);
    curl_easy_setopt(c, CURLOPT_CAINFO, ex->ca_file.c_str());
  }
  if (password) {
    // libcurl logs in only when the server's EHLO reply offers AUTH.
    ex->user = cp1252_to_utf8(smtp.user);
    ex->password = cp1252_to_utf8(smtp.password);
    curl_easy_setopt(c, CURLOPT_USERNAME, ex->user.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, ex->password.c_str());
  }

  const bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
  auto session = std::make_unique<Session>(
      loop_, limits_, w("Erreur d'envoi du Mail d'alerte (serveur ") + flatten(where) + ") : ", password,
      std::move(done));
  session->start(CurlMulti::Job{c, bracketed ? host.substr(1, host.size() - 2) : host, *port, limits_, ex},
                 "<" + envelope_address(message.from) + ">", std::move(rcpt), std::move(data));
  return session;
}

}  // namespace vireluz
