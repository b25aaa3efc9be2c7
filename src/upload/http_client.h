#pragma once
// The HTTP port used by the web uploads. A request runs without blocking; its
// result comes back later through a callback on the same thread: the whole
// reply, or the French text of why none could be obtained (no connection,
// time-out). An HTTP error status is not a failure here: callers decide.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/io_loop.h"
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

// What a request ended with: a reply, or the text of the failure.
struct HttpResult {
  std::optional<HttpResponse> response;
  Text error;  // cp1252, set when there is no response
};

class HttpClient {
 public:
  using Done = std::function<void(const HttpResult&)>;
  virtual ~HttpClient() = default;
  // Starts the request. A request that cannot be made at all (a header with
  // a control character, an unknown method) throws VireluzError at once.
  // Destroying the returned handle cancels the request and closes its
  // connection; `done` is never called after, and the handle may be
  // destroyed from inside `done`. A double that answers before send()
  // returns gives an empty handle.
  virtual RequestHandle send(const HttpRequest& request, Done done) = 0;
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

// A path segment: percent_encode, and a segment that is "." or ".." has its
// dots encoded too ("%2E"), so that no client or server takes it for a step
// in the path.
std::string percent_encode_segment(std::string_view bytes);

// The text of an HTTP status that an upload does not take as a success:
// anything outside 200..299 (a redirect is not followed, so its value would
// be lost). Empty for a success.
Text http_status_failure(int status);

}  // namespace vireluz
