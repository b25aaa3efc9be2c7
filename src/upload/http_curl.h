#pragma once
// The HTTP port over libcurl: plain HTTP/1.1, direct connection (proxy
// variables of the environment are ignored), no redirects followed, bounded
// connection and total times so that a silent server cannot freeze the
// program.
#include <cstddef>

#include "upload/http_client.h"

namespace vireluz {

class CurlHttpClient : public HttpClient {
 public:
  explicit CurlHttpClient(long connect_timeout_ms = 3000, long total_timeout_ms = 15000);
  ~CurlHttpClient() override;
  CurlHttpClient(const CurlHttpClient&) = delete;
  CurlHttpClient& operator=(const CurlHttpClient&) = delete;

  HttpResponse send(const HttpRequest& request) override;

  // Replies longer than this are cut (the uploads only look at short texts).
  static constexpr std::size_t kMaxBody = 1 << 20;

 private:
  void* curl_ = nullptr;  // CURL*, reused so that connections can be kept
  long connect_timeout_ms_;
  long total_timeout_ms_;
};

}  // namespace vireluz
