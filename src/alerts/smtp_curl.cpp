#include "alerts/smtp_curl.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <strings.h>

#include "common/error.h"

namespace vireluz {

namespace {

const char kCrLf[] = "\r\n";
constexpr long kReplyTimeoutS = 10;
constexpr std::int64_t kReplyTimeoutMs = kReplyTimeoutS * 1000;
// How much of a refusal's text goes into the error message.
constexpr std::size_t kShownReply = 200;

bool has_control(const Text& t) {
  for (unsigned char c : t)
    if (c < 0x20 || c == 0x7f) return true;
  return false;
}

// Line breaks and other control characters of a header text become blanks.
Text flatten(const Text& t) {
  Text out = t;
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) c = ' ';
  }
  return out;
}

void check_address(const Text& address) {
  if (has_control(address))
    throw VireluzError(w("Adresse Mail invalide (retour à la ligne ou caractère de contrôle) : ") +
                       flatten(address));
}

std::string base64(std::string_view in) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(in[i]) << 16) |
                       (static_cast<unsigned char>(in[i + 1]) << 8) | static_cast<unsigned char>(in[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (i < in.size()) {
    unsigned v = static_cast<unsigned char>(in[i]) << 16;
    if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < in.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// A printable ASCII subject folded before blanks so that its lines keep
// within 78 characters where the words allow (the first line holds
// "Subject: "); empty when a word is too long for the 998-character limit.
std::string fold_plain(const std::string& s) {
  std::string out;
  std::size_t line = 9;  // "Subject: "
  std::size_t i = 0;
  while (i < s.size()) {
    std::size_t j = i;
    while (j < s.size() && s[j] == ' ') ++j;
    while (j < s.size() && s[j] != ' ') ++j;
    const std::string_view token = std::string_view(s).substr(i, j - i);
    // A fold goes before a blank, which then starts the continuation line.
    if (line + token.size() > 78 && token.front() == ' ' && !out.empty()) {
      out += "\r\n";
      line = 0;
    }
    out += token;
    line += token.size();
    if (line > 998) return {};
    i = j;
  }
  return out;
}

// The subject as it goes into the header: plain when it is printable ASCII
// (folded as above), otherwise UTF-8 encoded words of at most 39 bytes each
// (64 characters), split between characters and folded onto continuation
// lines.
std::string encode_subject(const Text& cp1252) {
  const Text flat = flatten(cp1252);
  bool plain = flat.find("=?") == Text::npos;
  for (unsigned char c : flat)
    if (c >= 0x80) plain = false;
  if (plain && flat.find_first_not_of(' ') != Text::npos) {
    const std::string folded = fold_plain(flat);
    if (!folded.empty()) return folded;
  } else if (plain) {
    return flat;
  }
  const std::string utf8 = cp1252_to_utf8(flat);
  std::string out;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    std::size_t end = std::min(utf8.size(), pos + 39);
    while (end < utf8.size() && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + base64(std::string_view(utf8).substr(pos, end - pos)) + "?=";
    pos = end;
  }
  return out;
}

// One body line in quoted-printable, with soft breaks so that no encoded line
// is longer than 76 characters. A leading '.' is encoded too, so that no line
// of the body can read as the end of the SMTP data.
std::string quoted_printable_line(const std::string& utf8) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  std::size_t line_len = 0;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const bool last = i + 1 == utf8.size();
    std::string piece;
    if ((c >= 33 && c <= 126 && c != '=' && !(c == '.' && line_len == 0)) ||
        ((c == ' ' || c == '\t') && !last)) {
      piece = static_cast<char>(c);
    } else {
      piece = {'=', kHex[c >> 4], kHex[c & 15]};
    }
    if (line_len + piece.size() > 75) {
      out += "=\r\n";
      line_len = 0;
      if (piece == ".") piece = "=2E";
    }
    out += piece;
    line_len += piece.size();
  }
  return out;
}

std::string rfc5322_date(const DateTime& t, int offset_minutes) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  DateTime midnight = t;
  midnight.hour = midnight.minute = midnight.second = midnight.millisecond = 0;
  const std::int64_t days = ms_from_civil(midnight) / 86400000;
  const int wd = static_cast<int>(((days + 4) % 7 + 7) % 7);
  const int off = offset_minutes < 0 ? -offset_minutes : offset_minutes;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d", kDays[wd], t.day,
                kMonths[(t.month + 11) % 12], t.year, t.hour, t.minute, t.second,
                offset_minutes < 0 ? '-' : '+', off / 60, off % 60);
  return buf;
}

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

}  // namespace

std::string build_mime_message(const MailMessage& message, const DateTime& local, int utc_offset_minutes,
                               const std::string& message_id) {
  check_address(message.from);
  std::string to;
  for (const Text& r : message.to) {
    check_address(r);
    if (!to.empty()) to += ", ";
    to += cp1252_to_utf8(r);
  }
  std::string m;
  m += "Date: " + rfc5322_date(local, utc_offset_minutes) + kCrLf;
  m += "Message-ID: <" + message_id + ">" + kCrLf;
  m += "From: " + cp1252_to_utf8(message.from) + kCrLf;
  m += "To: " + to + kCrLf;
  m += "Subject: " + encode_subject(message.subject) + kCrLf;
  m += std::string("X-Priority: 1") + kCrLf;
  m += std::string("MIME-Version: 1.0") + kCrLf;
  m += std::string("Content-Type: text/plain; charset=UTF-8") + kCrLf;
  m += std::string("Content-Transfer-Encoding: quoted-printable") + kCrLf;
  m += kCrLf;
  for (const Text& line : message.body) m += quoted_printable_line(cp1252_to_utf8(line)) + kCrLf;
  return m;
}

// One mail on its way: the envelope, the data and QUIT, sent over the
// connection libcurl set up, one command at a time.
struct CurlMailSender::Session {
  enum class Step { Connect, Mail, Rcpt, Data, Body, Quit };
  std::unique_ptr<CurlMulti> multi;  // declared first: the watch goes before the connection
  CURL* easy = nullptr;
  curl_socket_t fd = CURL_SOCKET_BAD;
  std::unique_ptr<IoLoop::Watch> watch;
  bool watching_write = false;
  std::unique_ptr<IoLoop::Alarm> alarm;
  Step step = Step::Connect;
  std::string from;
  std::vector<std::string> rcpt;
  std::size_t next_rcpt = 0;
  std::string data;
  std::string out;  // the command being sent
  std::size_t sent = 0;
  std::string in;          // received, not yet read as a reply
  std::string reply_text;  // lines of the reply so far
  std::int64_t total_due = 0, reply_due = 0;
  Text prefix;
  bool password = false;
  bool reported = false, over = false;
  Done done;
};

CurlMailSender::CurlMailSender(const Clock& clock, CurlMulti& multi) : clock_(clock), loop_(multi.loop()) {
  limits_.connect_ms = 300;
  limits_.total_ms = 30000;
  reaper_ = loop_.alarm([this] { ended_.clear(); });
}

CurlMailSender::~CurlMailSender() = default;

void CurlMailSender::send(const MailMessage& message, const SmtpSettings& smtp, Done done) {
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
  if (host.empty() || has_control(host) || host.find_first_of(" /@?#") != Text::npos)
    throw VireluzError(w("Serveur SMTP invalide : \"") + flatten(host) + "\"");
  if (!port || *port < 1 || *port > 65535)
    throw VireluzError(w("Port SMTP invalide : \"") + flatten(smtp.port) + "\"");
  if (auto bad = check_envelope(message)) throw VireluzError(*bad);

  const DateTime local = clock_.local_now();
  const auto utc = clock_.now_utc_ms();
  const std::size_t at = message.from.rfind('@');
  Text domain = at == Text::npos ? Text("vireluz") : envelope_address(message.from.substr(at + 1));
  if (domain.empty() || has_control(domain)) domain = "vireluz";
  auto s = std::make_unique<Session>();
  s->data =
      smtp_data(build_mime_message(message, local, clock_.utc_offset_minutes(utc),
                                   random_id() + "." + std::to_string(utc) + "@" + cp1252_to_utf8(domain)));
  s->from = "<" + envelope_address(message.from) + ">";
  for (const Text& r : message.to) s->rcpt.push_back("<" + envelope_address(r) + ">");

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
  // Each reply of the set-up within the same bound as the replies awaited
  // here.
  curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, kReplyTimeoutS);
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

  Session* raw = s.get();
  s->prefix = w("Erreur d'envoi du Mail d'alerte (serveur ") + flatten(where) + ") : ";
  s->password = password;
  s->done = std::move(done);
  s->total_due = loop_.now_ms() + limits_.total_ms;
  s->alarm = loop_.alarm([this, raw] {
    if (raw->step == Session::Step::Quit) return end(raw);
    const bool whole = raw->total_due <= raw->reply_due;
    fail(raw, timeout_text(NetStep::Reply, whole ? limits_.total_ms : kReplyTimeoutMs) + ".");
  });
  s->multi = std::make_unique<CurlMulti>(loop_);
  sessions_.push_back(std::move(s));
  raw->multi->connect(c, limits_, ex, [this, raw](const TransferResult& r) { connected(raw, r); });
}

void CurlMailSender::connected(Session* s, const TransferResult& r) {
  if (!r.ok()) {
    Text text = s->prefix;
    if (r.timed_out != NetStep::None) {
      text += timeout_text(r.timed_out, r.limit_ms) + ".";
    } else if (r.code == CURLE_USE_SSL_FAILED) {
      text += w("le serveur ne propose pas STARTTLS");
      if (s->password) text += w(" : le mot de passe n'est pas envoyé sans chiffrement");
      text += w(" (choix « Aucun » dans la fenêtre des alertes pour une connexion non chiffrée).");
    } else if (r.code == CURLE_PEER_FAILED_VERIFICATION) {
      text += w("certificat du serveur non vérifié (") + flatten(utf8_to_cp1252(r.error)) +
              w("). Indiquez le fichier de son autorité de certification (clé CA)");
      if (s->password) text += w("; le mot de passe n'a pas été envoyé");
      text += ".";
    } else {
      text += curl_easy_strerror(r.code);
      if (!r.error.empty()) text += " - " + flatten(utf8_to_cp1252(r.error));
      if (r.response_code != 0) text += w(" (réponse du serveur ") + std::to_string(r.response_code) + ")";
    }
    report(s, text);
    return end(s);
  }
  s->easy = r.connection;
  curl_easy_getinfo(s->easy, CURLINFO_ACTIVESOCKET, &s->fd);
  if (s->fd == CURL_SOCKET_BAD) return fail(s, w("connexion au serveur perdue."));
  s->step = Session::Step::Mail;
  step(s);
}

// Sends the command of the current step, then waits for its reply.
void CurlMailSender::step(Session* s) {
  using Step = Session::Step;
  switch (s->step) {
    case Step::Mail:
      s->out = "MAIL FROM:" + s->from + kCrLf;
      break;
    case Step::Rcpt:
      s->out = "RCPT TO:" + s->rcpt[s->next_rcpt] + kCrLf;
      break;
    case Step::Data:
      s->out = std::string("DATA") + kCrLf;
      break;
    case Step::Body:
      s->out = s->data;
      break;
    case Step::Quit:
      s->out = std::string("QUIT") + kCrLf;
      break;
    case Step::Connect:
      return;
  }
  s->sent = 0;
  s->reply_text.clear();
  const std::int64_t now = loop_.now_ms();
  s->reply_due = now + kReplyTimeoutMs;
  s->alarm->start(static_cast<int>(std::max<std::int64_t>(0, std::min(s->reply_due, s->total_due) - now)));
  on_ready(s);
}

// Sends what is left of the command, reads what the server sent, and acts
// on each complete reply; the socket is watched for what is still awaited.
void CurlMailSender::on_ready(Session* s) {
  while (s->sent < s->out.size()) {
    std::size_t n = 0;
    const CURLcode rc = curl_easy_send(s->easy, s->out.data() + s->sent, s->out.size() - s->sent, &n);
    if (rc == CURLE_AGAIN) break;
    if (rc != CURLE_OK) return fail(s, Text(curl_easy_strerror(rc)) + ".");
    s->sent += n;
  }
  for (;;) {
    char buf[4096];
    std::size_t n = 0;
    const CURLcode rc = curl_easy_recv(s->easy, buf, sizeof buf, &n);
    if (rc == CURLE_AGAIN) break;
    if (rc != CURLE_OK) return fail(s, Text(curl_easy_strerror(rc)) + ".");
    if (n == 0) return fail(s, w("le serveur a fermé la connexion."));
    s->in.append(buf, n);
  }
  std::size_t eol;
  while (!s->over && (eol = s->in.find('\n')) != std::string::npos) {
    std::string line = s->in.substr(0, eol);
    s->in.erase(0, eol + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!s->reply_text.empty()) s->reply_text += ' ';
    if (s->reply_text.size() < kShownReply) s->reply_text += line.size() > 4 ? line.substr(4) : std::string();
    const bool digits = line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                        std::isdigit(static_cast<unsigned char>(line[1])) &&
                        std::isdigit(static_cast<unsigned char>(line[2]));
    // "250-..." goes on, "250 ..." ends the reply.
    if (digits && (line.size() == 3 || line[3] == ' ')) {
      const std::string text = s->reply_text;
      s->reply_text.clear();
      on_reply(s, std::stoi(line.substr(0, 3)), text);
    }
  }
  if (s->over) return;
  // A reply line is at most 512 bytes; this is no SMTP server.
  if (s->in.size() > 65536) return fail(s, w("réponse du serveur invalide."));
  const bool want_write = s->sent < s->out.size();
  if (!s->watch || want_write != s->watching_write) {
    s->watching_write = want_write;
    s->watch = loop_.watch(static_cast<int>(s->fd), IoLoop::kRead | (want_write ? IoLoop::kWrite : 0),
                           [this, s](int) { on_ready(s); });
  }
}

void CurlMailSender::on_reply(Session* s, int code, const std::string& text) {
  using Step = Session::Step;
  const auto refused = [&](const char* what) {
    Text why = w(what);
    std::string shown = text.substr(0, kShownReply);
    if (!shown.empty()) why += " - " + flatten(utf8_to_cp1252(shown));
    fail(s, why + w(" (réponse du serveur ") + std::to_string(code) + ")");
  };
  switch (s->step) {
    case Step::Mail:
      if (code != 250) return refused("expéditeur refusé (MAIL FROM)");
      s->step = Step::Rcpt;
      break;
    case Step::Rcpt:
      // One refused recipient stops the mail, as none of them would know
      // the others did not get it.
      if (code != 250 && code != 251) return refused("destinataire refusé (RCPT TO)");
      if (++s->next_rcpt == s->rcpt.size()) s->step = Step::Data;
      break;
    case Step::Data:
      if (code != 354) return refused("envoi du message refusé (DATA)");
      s->step = Step::Body;
      break;
    case Step::Body:
      if (code != 250) return refused("message refusé par le serveur");
      report(s, std::nullopt);
      s->step = Step::Quit;
      break;
    case Step::Quit:
      return end(s);
    case Step::Connect:
      return;
  }
  step(s);
}

void CurlMailSender::fail(Session* s, const Text& why) {
  report(s, s->prefix + why);
  end(s);
}

void CurlMailSender::report(Session* s, const std::optional<Text>& error) {
  if (s->reported) return;
  s->reported = true;
  const Done done = std::move(s->done);
  try {
    if (done) done(error);
  } catch (...) {
    // The engine reports its own failures; nothing may reach the loop.
  }
}

// Closes the connection at once; the session itself is freed from the loop,
// outside the callback this runs in.
void CurlMailSender::end(Session* s) {
  if (s->over) return;
  s->over = true;
  s->watch.reset();
  s->alarm->stop();
  if (s->easy) s->multi->close(s->easy);
  s->easy = nullptr;
  for (auto it = sessions_.begin(); it != sessions_.end(); ++it) {
    if (it->get() != s) continue;
    ended_.push_back(std::move(*it));
    sessions_.erase(it);
    break;
  }
  reaper_->start(0);
}

}  // namespace vireluz
