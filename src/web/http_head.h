#pragma once
// The head of an HTTP/1.x request (request line and header fields), read by
// the page's server before anything else: bounded in size, strictly parsed.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vireluz {

// The most a request head may take, blank line included.
inline constexpr std::size_t kMaxHeadBytes = 8192;

struct HttpHead {
  std::string method;                                       // "GET"
  std::string target;                                       // "/api/state?x=1", as sent
  std::string version;                                      // "HTTP/1.1"
  std::vector<std::pair<std::string, std::string>> fields;  // names lower-cased, values trimmed

  // The value of the first field of that (lower-case) name, nullptr when absent.
  const std::string* field(std::string_view name) const;
  // Whether a comma-separated field holds `token` (case-insensitive).
  bool field_has_token(std::string_view name, std::string_view token) const;
};

// The length of the head at the start of `bytes`, through the empty line that
// ends it (CR LF or a lone LF); 0 while it is not complete.
std::size_t head_length(std::string_view bytes);

// Parses a complete head. nullopt when it is malformed: a bad request line,
// a field without a name or a colon, a folded line, a control character.
std::optional<HttpHead> parse_head(std::string_view head);

}  // namespace vireluz
