#include "alerts/smtp_curl.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>

#include "common/error.h"

namespace vireluz {

namespace {

const char kCrLf[] = "\r\n";

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

// The subject as it goes into the header: plain when it is printable ASCII,
// otherwise UTF-8 encoded words of at most 45 bytes each (72 characters),
// split between characters and folded onto continuation lines.
std::string encode_subject(const Text& cp1252) {
  const Text flat = flatten(cp1252);
  bool plain = flat.find("=?") == Text::npos;
  for (unsigned char c : flat)
    if (c >= 0x80) plain = false;
  if (plain) return flat;
  const std::string utf8 = cp1252_to_utf8(flat);
  std::string out;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    std::size_t end = std::min(utf8.size(), pos + 45);
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

struct ReadState {
  const std::string* data;
  std::size_t pos = 0;
};

std::size_t read_payload(char* buffer, std::size_t size, std::size_t nitems, void* user) {
  auto* st = static_cast<ReadState*>(user);
  const std::size_t room = size * nitems;
  const std::size_t n = std::min(room, st->data->size() - st->pos);
  std::memcpy(buffer, st->data->data() + st->pos, n);
  st->pos += n;
  return n;
}

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

void global_init() {
  static const bool done = [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    return true;
  }();
  (void)done;
}

std::string random_id() {
  std::random_device rd;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08x%08x", rd(), rd());
  return buf;
}

}  // namespace

Text envelope_address(const Text& item) {
  const std::size_t open = item.find('<');
  const std::size_t close = item.find('>', open == Text::npos ? 0 : open);
  if (open != Text::npos && close != Text::npos)
    return Text(trim(std::string_view(item).substr(open + 1, close - open - 1)));
  return Text(trim(item));
}

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

void CurlMailSender::send(const MailMessage& message, const SmtpSettings& smtp) {
  const Text host(trim(smtp.host));
  const auto port = parse_int(Text(trim(smtp.port)));
  const Text where = host + ":" + Text(trim(smtp.port));
  if (host.empty() || has_control(host) || host.find_first_of(" /@?#") != Text::npos)
    throw VireluzError(w("Serveur SMTP invalide : \"") + flatten(host) + "\"");
  if (!port || *port < 1 || *port > 65535)
    throw VireluzError(w("Port SMTP invalide : \"") + flatten(smtp.port) + "\"");
  if (message.to.empty()) throw VireluzError(w("Aucun destinataire pour le Mail d'alerte."));

  const DateTime local = clock_.local_now();
  const auto utc = clock_.now_utc_ms();
  const std::size_t at = message.from.rfind('@');
  Text domain = at == Text::npos ? Text("vireluz") : envelope_address(message.from.substr(at + 1));
  if (domain.empty() || has_control(domain)) domain = "vireluz";
  const std::string payload =
      build_mime_message(message, local, clock_.utc_offset_minutes(utc),
                         random_id() + "." + std::to_string(utc) + "@" + cp1252_to_utf8(domain));

  global_init();
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) throw VireluzError(w("Envoi du Mail impossible : initialisation du client SMTP échouée."));
  CURL* c = curl.get();

  const bool implicit_tls = *port == 465;
  const std::string host_part = host.find(':') != Text::npos && host.front() != '[' ? "[" + host + "]" : host;
  const std::string url = (implicit_tls ? "smtps://" : "smtp://") + host_part + ":" + std::to_string(*port);
  const std::string from = "<" + envelope_address(message.from) + ">";
  std::unique_ptr<curl_slist, SlistDeleter> rcpt;
  for (const Text& r : message.to) {
    const std::string a = "<" + envelope_address(r) + ">";
    curl_slist* next = curl_slist_append(rcpt.get(), a.c_str());
    if (!next) throw VireluzError(w("Envoi du Mail impossible : mémoire insuffisante."));
    rcpt.release();
    rcpt.reset(next);
  }
  ReadState read{&payload};
  char errbuf[CURL_ERROR_SIZE] = {0};

  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, connect_timeout_ms_);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, total_timeout_ms_);
  if (!implicit_tls) curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
  if (!smtp.password.empty()) {
    // libcurl logs in only when the server's EHLO reply offers AUTH.
    curl_easy_setopt(c, CURLOPT_USERNAME, cp1252_to_utf8(smtp.user).c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, cp1252_to_utf8(smtp.password).c_str());
  }
  curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.c_str());
  curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt.get());
  curl_easy_setopt(c, CURLOPT_READFUNCTION, read_payload);
  curl_easy_setopt(c, CURLOPT_READDATA, &read);
  curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(payload.size()));
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errbuf);

  const CURLcode rc = curl_easy_perform(c);
  if (rc != CURLE_OK) {
    long code = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code);
    Text text =
        w("Erreur d'envoi du Mail d'alerte (serveur ") + flatten(where) + ") : " + curl_easy_strerror(rc);
    if (errbuf[0] != '\0') text += " - " + flatten(utf8_to_cp1252(errbuf));
    if (code != 0) text += w(" (réponse du serveur ") + std::to_string(code) + ")";
    throw VireluzError(text);
  }
}

}  // namespace vireluz
