#include "web/http_head.h"

#include <algorithm>
#include <cctype>

namespace vireluz {
namespace {

bool is_token_char(unsigned char c) {
  if (c <= 0x20 || c >= 0x7F) return false;
  return std::string_view("()<>@,;:\\\"/[]?={}").find(static_cast<char>(c)) == std::string_view::npos;
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool iequals(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

std::string_view trim_ows(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

const std::string* HttpHead::field(std::string_view name) const {
  for (const auto& [n, v] : fields)
    if (n == name) return &v;
  return nullptr;
}

bool HttpHead::field_has_token(std::string_view name, std::string_view token) const {
  for (const auto& [n, v] : fields) {
    if (n != name) continue;
    std::string_view rest = v;
    while (!rest.empty()) {
      const std::size_t comma = rest.find(',');
      if (iequals(trim_ows(rest.substr(0, comma)), token)) return true;
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
  }
  return false;
}

std::size_t head_length(std::string_view bytes) {
  // An empty line: LF followed by LF, or by CR LF.
  for (std::size_t i = bytes.find('\n'); i != std::string_view::npos; i = bytes.find('\n', i + 1)) {
    if (i + 1 < bytes.size() && bytes[i + 1] == '\n') return i + 2;
    if (i + 2 < bytes.size() && bytes[i + 1] == '\r' && bytes[i + 2] == '\n') return i + 3;
  }
  return 0;
}

std::optional<HttpHead> parse_head(std::string_view head) {
  std::vector<std::string_view> lines;
  while (!head.empty()) {
    const std::size_t lf = head.find('\n');
    if (lf == std::string_view::npos) return std::nullopt;
    std::string_view line = head.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    head.remove_prefix(lf + 1);
    if (line.empty()) {
      if (lines.empty()) continue;  // blank lines before the request line are tolerated
      break;
    }
    lines.push_back(line);
  }
  if (lines.empty()) return std::nullopt;

  HttpHead h;
  // Request line: method SP target SP version, nothing else.
  const std::string_view rl = lines[0];
  const std::size_t s1 = rl.find(' ');
  const std::size_t s2 = s1 == std::string_view::npos ? s1 : rl.find(' ', s1 + 1);
  if (s2 == std::string_view::npos || rl.find(' ', s2 + 1) != std::string_view::npos) return std::nullopt;
  const std::string_view method = rl.substr(0, s1);
  const std::string_view target = rl.substr(s1 + 1, s2 - s1 - 1);
  const std::string_view version = rl.substr(s2 + 1);
  if (method.empty() || !std::all_of(method.begin(), method.end(),
                                     [](char c) { return is_token_char(static_cast<unsigned char>(c)); }))
    return std::nullopt;
  // The characters a URI may hold, nothing else (no blank, quote, brace...).
  static constexpr std::string_view kUriChars =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~:/?#[]@!$&'()*+,;=%";
  if (target.empty() || target.find_first_not_of(kUriChars) != std::string_view::npos) return std::nullopt;
  if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || version[6] != '.' ||
      !std::isdigit(static_cast<unsigned char>(version[5])) ||
      !std::isdigit(static_cast<unsigned char>(version[7])))
    return std::nullopt;
  h.method = method;
  h.target = target;
  h.version = version;

  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (line.front() == ' ' || line.front() == '\t') return std::nullopt;  // obsolete folding
    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) return std::nullopt;
    std::string name(line.substr(0, colon));
    for (char& c : name) {
      if (!is_token_char(static_cast<unsigned char>(c))) return std::nullopt;
      c = lower(c);
    }
    const std::string_view value = trim_ows(line.substr(colon + 1));
    for (char c : value) {
      const auto u = static_cast<unsigned char>(c);
      if ((u < 0x20 && c != '\t') || u == 0x7F) return std::nullopt;
    }
    h.fields.emplace_back(std::move(name), std::string(value));
  }
  return h;
}

}  // namespace vireluz
