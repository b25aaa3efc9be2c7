#pragma once
// The event-loop port over Qt, on the event loop of the thread that makes
// it: QSocketNotifier for sockets, one precise single-shot QTimer for all the
// alarms, getaddrinfo() in a thread of its own for each name lookup.
#include <memory>

#include "common/io_loop.h"

namespace vireluz {

class QtIoLoop : public IoLoop {
 public:
  QtIoLoop();
  ~QtIoLoop() override;
  std::unique_ptr<Watch> watch(int fd, int events, std::function<void(int)> on_ready) override;
  std::unique_ptr<Alarm> alarm(std::function<void()> fn) override;
  RequestHandle resolve(const std::string& host, ResolveDone done) override;
  std::int64_t now_ms() const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vireluz
