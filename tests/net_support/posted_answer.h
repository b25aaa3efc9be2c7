#pragma once
// Test doubles of the network ports answer later in simulated time; the
// handle they give drops the answer when destroyed, as a real request does.
#include <functional>
#include <memory>

#include "common/io_loop.h"
#include "common/sim_scheduler.h"

namespace vireluz::testing {

// Runs `answer` delay_ms of simulated time from now unless the handle is gone.
inline RequestHandle post_answer(SimScheduler& sched, std::int64_t delay_ms, std::function<void()> answer) {
  struct Pending : Request {
    std::shared_ptr<bool> gone = std::make_shared<bool>(false);
    ~Pending() override { *gone = true; }
  };
  auto pending = std::make_unique<Pending>();
  sched.post(delay_ms, [gone = pending->gone, answer = std::move(answer)] {
    if (!*gone) answer();
  });
  return pending;
}

}  // namespace vireluz::testing
