#pragma once
// The page's server on the Qt event loop: Qt HttpServer routes and answers
// the requests, Qt WebSockets carries the live streams, and a TCP server of
// our own in front of both holds the limits Qt HttpServer 6.4 has none of (32
// connections at once, 8 KiB of head, no body, 10 s to send a request, one
// request per connection) and lets only heads that the core's WebGate accepted
// reach them. HTTPS when a certificate and a key are given.
#include <cstdint>
#include <memory>

#include "web/web_server.h"

namespace vireluz {

class QtWebServer : public WebServer {
 public:
  static constexpr int kMaxConnections = 32;
  static constexpr int kRequestTimeoutMs = 10000;
  // A page that does not take its messages is cut off past this much waiting.
  static constexpr std::int64_t kMaxPendingBytes = 1 << 20;

  QtWebServer();
  ~QtWebServer() override;
  std::string start(const Listen& listen, WebSite& site) override;
  void stop() override;
  int port() const override;
  int pages() const override;
  void broadcast(const std::string& message) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vireluz
