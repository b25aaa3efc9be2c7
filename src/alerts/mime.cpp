#include "alerts/mime.h"

#include <cstdio>

#include "common/error.h"

namespace vireluz {

Text flatten(const Text& t) {
  Text out = t;
  for (char& c : out)
    if (has_control_char({&c, 1})) c = ' ';
  return out;
}

namespace {

const char kCrLf[] = "\r\n";

void check_address(const Text& address) {
  if (has_control_char(address))
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

}  // namespace vireluz
