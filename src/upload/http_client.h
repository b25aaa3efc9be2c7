#pragma once
// The HTTP port used by the web uploads. One synchronous request at a time:
// send() returns when the whole reply has been read, or throws VireluzError
// (French text) when no reply could be obtained (no connection, time-out).
// An HTTP error status is not an exception here: callers decide.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/text.h"

namespace vireluz {

struct HttpRequest {
  std::string method;  // "GET", "POST"
  std::string host;
  int port = 80;
  std::string target;  // path?query, already encoded
  // Sent as "Name:" + value, exactly as given (no blank added).
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
};

struct HttpResponse {
  int status = 0;
  std::string body;
};

class HttpClient {
 public:
  virtual ~HttpClient() = default;
  virtual HttpResponse send(const HttpRequest& request) = 0;
};

// Where requests go: a host name (or address) and a port.
struct HttpServer {
  std::string host;
  int port = 80;
};

// The server named by an optional setting "host" or "host:port"; the default
// when the setting is blank. Throws VireluzError for a malformed setting
// (empty host, port not in 1..65535, characters a host cannot hold).
// `what` names the service in the message ("Cosm", "BDPV").
HttpServer server_from_setting(std::string_view setting, const HttpServer& fallback, std::string_view what);

// Percent-encoding of a path segment or a query value: the unreserved
// characters of RFC 3986 (letters, digits, "-._~") are kept, every other byte
// becomes %XX (upper-case hex), so the result can neither end the segment or
// the value nor break the request line.
std::string percent_encode(std::string_view bytes);

// True when the text holds a control character (0x00-0x1F, 0x7F), which a
// header value must not carry.
bool has_control_char(std::string_view text);

}  // namespace vireluz
