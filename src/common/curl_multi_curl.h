#pragma once
// One libcurl multi handle driven by the event loop: the SMTP and HTTP clients
// hand it configured easy handles and get a completion call later, on the
// same thread. Nothing waits and nothing polls: each socket libcurl uses has
// one watch, whose events change as libcurl asks; libcurl's timer is a loop
// alarm; the name is looked up through the loop.
//
// Each transfer has its time limits, all timed with the loop's alarms, so
// that a message can say which step was too slow and for how long:
//  - the name lookup within lookup_ms;
//  - the TCP connection within connect_ms once the name is known;
//  - once connected, no silence of the server longer than reply_ms (when
//    set), until the transfer ends;
//  - the whole exchange within total_ms.
//
// A transfer is a Request: destroying its handle removes it and frees it,
// from its own completion callback too; nothing is called back after.
// Transfers must not outlive their CurlMulti.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "common/io_loop.h"
#include "common/text.h"

namespace vireluz {

struct TransferLimits {
  long lookup_ms = 5000;
  long connect_ms = 300;
  long total_ms = 30000;
  long reply_ms = 0;  // longest silence of the server once connected; 0: none
};

// The step of an exchange that ran out of time.
enum class NetStep { None, Lookup, Connect, Reply, Exchange };

struct TransferResult {
  int code = 0;  // libcurl's result code, 0 when the transfer went through
  NetStep timed_out = NetStep::None;
  long response_code = 0;      // last server reply code (SMTP or HTTP)
  Text error;                  // French text of the failure, cp1252
  void* connection = nullptr;  // after connect(): libcurl's easy handle, connected
  bool ok() const { return code == 0 && timed_out == NetStep::None; }
};

// French text of a step that ran out of time, with its limit
// ("le serveur ne répond pas (délai de 10 s dépassé ...)"), cp1252.
Text timeout_text(NetStep step, long limit_ms);

// French sentence naming the cause of a libcurl failure, libcurl's own text
// (UTF-8) following in parentheses; cp1252.
Text curl_failure_text(int code, const std::string& detail);

class CurlMulti {
 public:
  using Done = std::function<void(const TransferResult&)>;

  // What to start: a libcurl easy handle configured by the caller (freed with
  // the request) and the host and port of its URL, looked up through the loop.
  struct Job {
    void* easy = nullptr;
    std::string host;
    int port = 0;
    TransferLimits limits;
    std::shared_ptr<void> keep;  // what the easy handle points to; held as long as the request
  };

  explicit CurlMulti(IoLoop& loop);
  ~CurlMulti();
  CurlMulti(const CurlMulti&) = delete;
  CurlMulti& operator=(const CurlMulti&) = delete;

  // Starts the transfer; `done` is called once, from the loop, never from
  // inside start().
  RequestHandle start(Job job, Done done);

  // Like start() for a handle set up with CURLOPT_CONNECT_ONLY: libcurl
  // connects and runs the protocol's set-up (for SMTP: greeting, EHLO,
  // STARTTLS, AUTH), then `done` gets the connected easy handle in
  // TransferResult::connection, where curl_easy_send/curl_easy_recv reach its
  // connection. The connection stays open until the handle is destroyed.
  RequestHandle connect(Job job, Done done);

  IoLoop& loop() const { return loop_; }

 private:
  class Transfer;
  struct Socket;
  static int on_socket(void* easy, int fd, int what, void* self, void* socketp);
  static int on_timer(void* multi, long timeout_ms, void* self);
  RequestHandle begin(Job job, Done done, bool connect_only);
  void action(int fd, int events);

  IoLoop& loop_;
  void* multi_ = nullptr;
  std::unique_ptr<IoLoop::Alarm> curl_alarm_;
  std::map<int, std::unique_ptr<Socket>> sockets_;
  std::set<Transfer*> transfers_;
};

}  // namespace vireluz
