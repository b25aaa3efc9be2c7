#pragma once
// The event-loop port of all network code (mail, uploads, MQTT, the web
// page): watch a socket for readiness, arm alarms, look a name up, all
// delivered on the one event thread. Nothing here blocks or polls.
//
// Lifetimes follow one rule, as with Qt's QNetworkReply and curl's
// multi-uv.c: whoever holds a Watch, an Alarm or a Request owns it, and
// destroying it stops it at once, with no callback afterwards. Any of them
// may be destroyed from inside its own callback.
//
// The program runs on the Qt event loop (io_loop_qt.h); tests can run the
// same clients on simulated time (tests/net_support/sim_io_loop.h).
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vireluz {

// Something on its way (a mail, an HTTP exchange, a name lookup): destroying
// the handle cancels it, and its completion callback is never called after.
class Request {
 public:
  virtual ~Request() = default;
};
using RequestHandle = std::unique_ptr<Request>;

// The requests an object has on their way, cancelled with it. add() gives
// each request its id; its completion callback calls close(id) first, which
// frees the request from inside its own callback (allowed). A request that
// completed before its start returned is not kept.
class RequestSet {
 public:
  // start(id) starts the request and returns its handle; what it throws
  // leaves nothing behind.
  template <class Start>
  void add(Start&& start) {
    const std::uint64_t id = ++last_;
    pending_[id];
    try {
      RequestHandle request = start(id);
      if (const auto it = pending_.find(id); it != pending_.end()) it->second = std::move(request);
    } catch (...) {
      pending_.erase(id);
      throw;
    }
  }
  void close(std::uint64_t id) { pending_.erase(id); }
  bool empty() const { return pending_.empty(); }

 private:
  std::map<std::uint64_t, RequestHandle> pending_;
  std::uint64_t last_ = 0;
};

class IoLoop {
 public:
  static constexpr int kRead = 1;
  static constexpr int kWrite = 2;

  // Watching a socket: on_ready(kRead and/or kWrite) each time the socket is
  // ready for one of the events asked. The events can be changed at any time
  // (0 pauses the watch); the socket must stay open while it is watched.
  class Watch {
   public:
    virtual ~Watch() = default;
    virtual void set_events(int events) = 0;
    virtual int events() const = 0;
  };

  // A one-shot alarm: start() replaces a pending countdown; 0 ms fires as
  // soon as the loop is free, never from inside start().
  class Alarm {
   public:
    virtual ~Alarm() = default;
    virtual void start(std::int64_t ms) = 0;
    virtual void stop() = 0;
    virtual bool pending() const = 0;
  };

  // The numeric addresses of a name ("192.0.2.7", "2001:db8::1"), or the
  // French text of why there are none.
  struct Resolved {
    std::vector<std::string> addresses;
    std::string error;  // UTF-8; set when addresses is empty
  };
  using ResolveDone = std::function<void(const Resolved&)>;

  virtual ~IoLoop() = default;
  virtual std::unique_ptr<Watch> watch(int fd, int events, std::function<void(int ready)> on_ready) = 0;
  virtual std::unique_ptr<Alarm> alarm(std::function<void()> fn) = 0;
  // Looks a host name up without blocking the loop; a numeric address comes
  // back as it is. `done` is called from the loop, never from inside resolve().
  virtual RequestHandle resolve(const std::string& host, ResolveDone done) = 0;
  // A monotonic time in milliseconds.
  virtual std::int64_t now_ms() const = 0;
};

// A numeric IPv4 or IPv6 address, which needs no lookup.
bool is_numeric_address(std::string_view address);

// The alarms of a loop that has one system timer: kept in due order, run
// when due. The loop says when its timer fires (run_due) and is told when
// the earliest due time changes (to re-arm that timer). Alarms made here must
// not outlive the list.
class AlarmList {
 public:
  // now: the loop's clock; rearm(next): the earliest due time changed (none
  // when nothing is pending).
  AlarmList(std::function<std::int64_t()> now, std::function<void(std::optional<std::int64_t>)> rearm);
  ~AlarmList();
  AlarmList(const AlarmList&) = delete;
  AlarmList& operator=(const AlarmList&) = delete;

  std::unique_ptr<IoLoop::Alarm> make(std::function<void()> fn);
  // Runs every alarm due by now, earliest first (ties in the order they were
  // started). An alarm re-armed for 0 ms from its own callback runs at the
  // next call, so that a loop always gets back to its sockets.
  void run_due();
  std::optional<std::int64_t> next_due() const;

 private:
  class Entry;
  using Key = std::pair<std::int64_t, std::uint64_t>;  // due time, sequence
  Key add(std::int64_t due, Entry* entry);
  void remove(const Key& key);
  void changed();

  std::function<std::int64_t()> now_;
  std::function<void(std::optional<std::int64_t>)> rearm_;
  std::map<Key, Entry*> queue_;
  std::uint64_t seq_ = 0;
  std::optional<std::int64_t> armed_for_;
  bool running_ = false;
};

}  // namespace vireluz
