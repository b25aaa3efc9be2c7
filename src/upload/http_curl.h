#pragma once
// The HTTP port over libcurl, on the shared multi handle: plain HTTP/1.1,
// direct connection (proxy variables of the environment are ignored), no
// redirects followed, the name lookup, the connection and the whole exchange
// bounded, all without blocking the event loop. A reply whose header lines or
// body pass their cap ends the request with a message: nothing past the cap
// is kept or waited for.
#include <cstddef>

#include "common/curl_multi_curl.h"
#include "upload/http_client.h"

namespace vireluz {

class CurlHttpClient : public HttpClient {
 public:
  explicit CurlHttpClient(CurlMulti& multi, const TransferLimits& limits = {5000, 3000, 15000})
      : multi_(multi), limits_(limits) {}

  RequestHandle send(const HttpRequest& request, Done done) override;

  // The uploads only look at short replies.
  static constexpr std::size_t kMaxHeaders = 16 * 1024;
  static constexpr std::size_t kMaxBody = 64 * 1024;

 private:
  CurlMulti& multi_;
  TransferLimits limits_;
};

}  // namespace vireluz
