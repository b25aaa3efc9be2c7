#include "upload/http_client.h"

#include <cctype>

#include "common/error.h"

namespace vireluz {

namespace {

bool is_unreserved(unsigned char c) {
  return std::isalnum(c) != 0 || c == '-' || c == '.' || c == '_' || c == '~';
}

bool is_host_char(unsigned char c) { return std::isalnum(c) != 0 || c == '-' || c == '.'; }

}  // namespace

std::string percent_encode(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80 && is_unreserved(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

std::string percent_encode_segment(std::string_view bytes) {
  if (bytes == "." || bytes == "..") return bytes.size() == 1 ? "%2E" : "%2E%2E";
  return percent_encode(bytes);
}

Text http_status_failure(int status) {
  if (status >= 200 && status <= 299) return {};
  if (status >= 300 && status <= 399)
    return w("redirection HTTP ") + std::to_string(status) + w(" (non suivie : la valeur n'a pas été reçue)");
  return w("HTTP ") + std::to_string(status);
}

HttpServer server_from_setting(std::string_view setting, const HttpServer& fallback, std::string_view what) {
  const std::string_view s = trim(setting);
  if (s.empty()) return fallback;
  const auto bad = [&] {
    return VireluzError(w("Adresse du serveur ") + std::string(what) + w(" invalide : \"") + std::string(s) +
                        w("\" (attendu : nom ou nom:port)."));
  };
  HttpServer server{std::string(s), fallback.port};
  const auto colon = s.rfind(':');
  if (colon != std::string_view::npos) {
    server.host = std::string(s.substr(0, colon));
    const std::string_view port_text = s.substr(colon + 1);
    const auto port = parse_int(port_text);
    if (!port || port_text.empty() || !std::isdigit(static_cast<unsigned char>(port_text[0])) || *port < 1 ||
        *port > 65535)
      throw bad();
    server.port = *port;
  }
  if (server.host.empty()) throw bad();
  for (const char ch : server.host) {
    if (!is_host_char(static_cast<unsigned char>(ch))) throw bad();
  }
  return server;
}

}  // namespace vireluz
