#pragma once
// The event-loop port over Qt: QSocketNotifier for sockets, a precise
// single-shot QTimer for alarms, on the event loop of the calling thread.
#include "common/io_loop.h"

namespace vireluz {

class QtIoLoop : public IoLoop {
 public:
  std::unique_ptr<Watch> watch(int fd, int events, std::function<void(int)> on_ready) override;
  std::unique_ptr<Alarm> alarm(std::function<void()> fn) override;
  std::int64_t now_ms() const override;
};

}  // namespace vireluz
