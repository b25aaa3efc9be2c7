#include "web/web_gate.h"

#include <algorithm>
#include <cctype>

namespace vireluz {
namespace {

GateVerdict refuse(int status, std::string text, HeaderFields headers = {}) {
  GateVerdict v;
  v.kind = GateVerdict::Kind::kRefuse;
  v.status = status;
  v.text = std::move(text);
  v.headers = std::move(headers);
  return v;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool iequals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

PathCheck request_path(std::string_view target) {
  static const char* kRefused = "Chemin refusé : il sort de la page.";
  PathCheck r;
  const std::size_t query = target.find_first_of("?#");
  const std::string_view raw = target.substr(0, query);
  if (raw.empty() || raw.front() != '/') {
    r.status = 400;
    r.text = "Requête invalide : le chemin doit commencer par « / ».";
    return r;
  }
  for (std::size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '%') {
      const int hi = i + 2 < raw.size() ? hex_value(raw[i + 1]) : -1;
      const int lo = i + 2 < raw.size() ? hex_value(raw[i + 2]) : -1;
      if (hi < 0 || lo < 0) {
        r.status = 400;
        r.text = "Requête invalide : échappement « % » mal formé.";
        return r;
      }
      c = static_cast<char>(hi * 16 + lo);
      i += 2;
    }
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '\\') {
      r.status = 400;
      r.text = kRefused;
      return r;
    }
    r.path.push_back(c);
  }
  // No "." or ".." segment, whatever its spelling was.
  std::string_view rest = r.path;
  while (!rest.empty()) {
    rest.remove_prefix(1);  // the '/'
    const std::size_t slash = rest.find('/');
    const std::string_view seg = rest.substr(0, slash);
    if (seg == "." || seg == "..") {
      r.status = 400;
      r.text = kRefused;
      return r;
    }
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash);
  }
  return r;
}

const HeaderFields& security_headers() {
  static const HeaderFields kFields = {
      {"Content-Security-Policy",
       "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
       "frame-ancestors 'none'; base-uri 'none'; form-action 'none'"},
      {"X-Frame-Options", "DENY"},
      {"X-Content-Type-Options", "nosniff"},
      {"Referrer-Policy", "no-referrer"},
      {"Cache-Control", "no-store"},
      {"Connection", "close"},
  };
  return kFields;
}

std::string_view status_reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 413:
      return "Content Too Large";
    case 429:
      return "Too Many Requests";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    case 505:
      return "HTTP Version Not Supported";
  }
  return "Error";
}

std::string refusal_response(const GateVerdict& v) {
  const std::string body = v.text + "\n";
  std::string r =
      "HTTP/1.1 " + std::to_string(v.status) + " " + std::string(status_reason(v.status)) + "\r\n";
  for (const auto& [k, val] : security_headers()) r += k + ": " + val + "\r\n";
  for (const auto& [k, val] : v.headers) r += k + ": " + val + "\r\n";
  r += "Content-Type: text/plain; charset=utf-8\r\nContent-Length: " + std::to_string(body.size()) +
       "\r\n\r\n";
  return r + body;
}

WebGate::WebGate(std::string user_utf8, std::string password_utf8, bool tls)
    : user_(std::move(user_utf8)), password_(std::move(password_utf8)), tls_(tls) {}

GateVerdict WebGate::check(const HttpHead& head, std::size_t extra_bytes, const std::string& peer,
                           std::int64_t now_ms) {
  if (head.version != "HTTP/1.1" && head.version != "HTTP/1.0")
    return refuse(505, "Version HTTP non prise en charge (HTTP/1.1 seulement).");
  if (head.method != "GET")
    return refuse(405, "Méthode refusée : la page se consulte seulement (GET).", {{"Allow", "GET"}});
  const std::string* length = head.field("content-length");
  if ((length && *length != "0") || head.field("transfer-encoding"))
    return refuse(413, "Requête refusée : la page n'accepte aucun envoi de données.");
  if (extra_bytes > 0) return refuse(400, "Requête invalide : une seule requête par connexion.");
  PathCheck path = request_path(head.target);
  if (path.status != 0) return refuse(path.status, path.text);
  const std::string* host = head.field("host");
  if (!host && head.version == "HTTP/1.1") return refuse(400, "Requête invalide : en-tête Host absent.");

  if (const std::int64_t wait = limiter_.refused_for(peer, now_ms); wait > 0) {
    return refuse(429, "Trop d'essais de connexion manqués : réessayez dans une minute.",
                  {{"Retry-After", std::to_string((wait + 999) / 1000)}});
  }
  if (asks_login()) {
    static const HeaderFields kChallenge = {
        {"WWW-Authenticate", "Basic realm=\"VIRELUZ\", charset=\"UTF-8\""}};
    const std::string* auth = head.field("authorization");
    if (!auth) return refuse(401, "Identification demandée.", kChallenge);
    const auto c = basic_credentials(*auth);
    // Both compared every time, so that the time taken tells nothing.
    const bool user_ok = same_secret(c ? c->user : std::string(), user_);
    const bool password_ok = same_secret(c ? c->password : std::string(), password_);
    if (!c || !user_ok || !password_ok) {
      limiter_.failure(peer, now_ms);
      if (const std::int64_t wait = limiter_.refused_for(peer, now_ms); wait > 0)
        return refuse(429, "Trop d'essais de connexion manqués : réessayez dans une minute.",
                      {{"Retry-After", std::to_string((wait + 999) / 1000)}});
      return refuse(401, "Utilisateur ou mot de passe incorrect.", kChallenge);
    }
  }

  GateVerdict v;
  v.path = std::move(path.path);
  if (v.path == kStreamPath) {
    const std::string* version = head.field("sec-websocket-version");
    if (!head.field_has_token("upgrade", "websocket") || !head.field_has_token("connection", "upgrade") ||
        !head.field("sec-websocket-key") || !version || *version != "13")
      return refuse(400, "Le flux en direct s'ouvre seulement en WebSocket (version 13).");
    if (const std::string* origin = head.field("origin")) {
      const std::string expected = std::string(tls_ ? "https://" : "http://") + (host ? *host : "");
      if (!host || !iequals(*origin, expected))
        return refuse(403, "Origine refusée : le flux se lit depuis la page.");
    }
    v.kind = GateVerdict::Kind::kStream;
    return v;
  }
  if (head.field("upgrade")) return refuse(400, "Requête invalide : changement de protocole refusé.");
  v.kind = GateVerdict::Kind::kPage;
  return v;
}

}  // namespace vireluz
