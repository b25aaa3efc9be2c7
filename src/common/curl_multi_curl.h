#pragma once
// One libcurl multi handle driven by the event loop: the SMTP and HTTP clients
// hand it configured easy handles and get a completion call later, on the
// same thread. Nothing waits: sockets are watched by the loop, libcurl's
// timers become loop alarms.
//
// Each transfer has three limits, so that a message can say which step was
// too slow:
//  - name lookup within lookup_ms (libcurl resolves in its own resolver
//    thread; the transfer is dropped without waiting for it);
//  - the TCP connection within connect_ms once the name is known;
//  - the whole exchange within total_ms.
#include <curl/curl.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "common/io_loop.h"

namespace vireluz {

struct TransferLimits {
  long lookup_ms = 5000;
  long connect_ms = 300;
  long total_ms = 30000;
};

// The step of an exchange that ran out of time.
enum class NetStep { None, Lookup, Connect, Reply };

struct TransferResult {
  CURLcode code = CURLE_OK;
  NetStep timed_out = NetStep::None;
  long limit_ms = 0;        // the limit that ran out
  long response_code = 0;   // last server reply code (SMTP or HTTP)
  std::string error;        // libcurl's error text, UTF-8
  CURL* connection = nullptr;  // after connect(): the connected handle
  bool ok() const { return code == CURLE_OK && timed_out == NetStep::None; }
};

// French text of a step that ran out of time ("la résolution du nom ...").
std::string timeout_text(NetStep step, long limit_ms);  // cp1252

class CurlMulti {
 public:
  using Done = std::function<void(const TransferResult&)>;

  explicit CurlMulti(IoLoop& loop);
  // Drops the transfers still running without calling them back.
  ~CurlMulti();
  CurlMulti(const CurlMulti&) = delete;
  CurlMulti& operator=(const CurlMulti&) = delete;

  // Takes the easy handle (configured by the caller, freed here) and starts
  // it. `keep` is held until the transfer ends: whatever the handle points to
  // (payload, header list, reply buffer). `done` is called from the loop,
  // never from inside start().
  void start(CURL* easy, const TransferLimits& limits, std::shared_ptr<void> keep, Done done);

  // Like start() for a handle set up with CURLOPT_CONNECT_ONLY: libcurl
  // connects and runs the protocol's set-up (for SMTP: greeting, EHLO,
  // STARTTLS, AUTH), then the handle stays in the multi handle, where
  // curl_easy_send/curl_easy_recv reach its connection, and goes to `done` in
  // TransferResult::connection. close() (or this object's end) closes it.
  void connect(CURL* easy, const TransferLimits& limits, std::shared_ptr<void> keep, Done done);
  void close(CURL* connection);

  std::size_t running() const { return transfers_.size(); }
  IoLoop& loop() const { return loop_; }

 private:
  struct Transfer {
    TransferLimits limits;
    std::int64_t started_ms = 0;
    bool connected = false;
    bool connect_only = false;
    std::shared_ptr<void> keep;
    Done done;
  };

  static int on_socket(CURL* easy, curl_socket_t fd, int what, void* self, void*);
  static int on_timer(CURLM*, long timeout_ms, void* self);
  void socket_ready(curl_socket_t fd, int events);
  void curl_timeout();
  void check_steps();
  void collect();
  void finish(CURL* easy, TransferResult result);
  void begin(CURL* easy, const TransferLimits& limits, std::shared_ptr<void> keep, Done done, bool connect_only);

  IoLoop& loop_;
  CURLM* multi_ = nullptr;
  std::unique_ptr<IoLoop::Alarm> curl_alarm_;
  std::unique_ptr<IoLoop::Alarm> step_alarm_;
  std::map<curl_socket_t, std::unique_ptr<IoLoop::Watch>> watches_;
  std::map<CURL*, std::unique_ptr<Transfer>> transfers_;
  std::map<CURL*, std::shared_ptr<void>> connections_;  // handed over by connect()
};

}  // namespace vireluz
