#pragma once
// What the page's server lets through: every request head is checked here
// before anything is served. Only GET, no body, one request per connection,
// paths inside the page, the login when one is set (with the limit on failed
// attempts), and the live stream only as a WebSocket from the page's own
// origin. A refused request gets a short French answer with its status.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "web/http_head.h"
#include "web/login.h"

namespace vireluz {

// The path of the live stream (a WebSocket).
inline constexpr std::string_view kStreamPath = "/flux";

using HeaderFields = std::vector<std::pair<std::string, std::string>>;

struct GateVerdict {
  enum class Kind { kRefuse, kPage, kStream };
  Kind kind = Kind::kRefuse;
  int status = 0;        // kRefuse: the HTTP status
  std::string text;      // kRefuse: why, in French (UTF-8)
  HeaderFields headers;  // kRefuse: fields the answer adds (WWW-Authenticate, Allow, Retry-After)
  std::string path;      // kPage, kStream: the decoded path
};

// The path of a request target, percent-decoded; a status (400) and why when
// the target is not a plain path of this site: not starting with '/', a bad
// escape, a control character or backslash, a "." or ".." segment (written
// plainly or encoded).
struct PathCheck {
  std::string path;
  int status = 0;
  std::string text;
};
PathCheck request_path(std::string_view target);

// The fields every answer carries: the page's own origin only, no framing, no
// caching, one request per connection.
const HeaderFields& security_headers();
// "Unauthorized" for 401...
std::string_view status_reason(int status);
// The whole answer to a refused request.
std::string refusal_response(const GateVerdict& verdict);

class WebGate {
 public:
  // user and password: the login asked (none when both are empty); tls: the
  // server speaks HTTPS (the origin expected from the page).
  WebGate(std::string user_utf8, std::string password_utf8, bool tls);

  // A complete head from `peer` (its address), with `extra_bytes` received
  // after it.
  GateVerdict check(const HttpHead& head, std::size_t extra_bytes, const std::string& peer,
                    std::int64_t now_ms);
  bool asks_login() const { return !user_.empty() || !password_.empty(); }

 private:
  std::string user_, password_;
  bool tls_;
  LoginLimiter limiter_;
};

}  // namespace vireluz
