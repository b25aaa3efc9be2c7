#pragma once
// The event-loop port used by the network clients: watch a socket for
// readiness and arm one-shot alarms, all delivered on the one event thread.
// The program uses the Qt event loop (io_loop_qt.h); nothing here blocks.
#include <cstdint>
#include <functional>
#include <memory>

namespace vireluz {

class IoLoop {
 public:
  static constexpr int kRead = 1;
  static constexpr int kWrite = 2;

  // Watching stops when the object is destroyed (safe from inside its own
  // callback).
  class Watch {
   public:
    virtual ~Watch() = default;
  };
  // A one-shot alarm; start() replaces a pending countdown, 0 ms fires as soon
  // as the loop is free.
  class Alarm {
   public:
    virtual ~Alarm() = default;
    virtual void start(int ms) = 0;
    virtual void stop() = 0;
  };

  virtual ~IoLoop() = default;
  // Calls on_ready(kRead and/or kWrite) each time the socket is ready for one
  // of the `events` asked.
  virtual std::unique_ptr<Watch> watch(int fd, int events, std::function<void(int)> on_ready) = 0;
  virtual std::unique_ptr<Alarm> alarm(std::function<void()> fn) = 0;
  // A monotonic time in milliseconds.
  virtual std::int64_t now_ms() const = 0;
};

}  // namespace vireluz
