#pragma once
// The timer port over QTimer, on the Qt event loop of the calling thread.
#include <memory>
#include <string>

#include "common/timer.h"

namespace vireluz {

class QtTimerFactory : public TimerFactory {
 public:
  std::unique_ptr<Timer> create_timer(const std::string& name, int interval_ms) override;
};

}  // namespace vireluz
