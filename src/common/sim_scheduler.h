#pragma once
// Simulated time for tests and long runs: a clock and a timer factory on the
// same virtual time line. advance() fires due timers and posted events in time
// order (ties in the order they were scheduled), each handler seeing the clock
// at its own due time.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

#include "common/clock.h"
#include "common/timer.h"

namespace vireluz {

class SimScheduler : public Clock, public TimerFactory {
 public:
  // start: local civil time at which the simulation starts; utc_offset_minutes:
  // fixed offset of local time from UTC.
  explicit SimScheduler(const DateTime& start_local = DateTime{2026, 12, 7, 10, 0, 0, 0},
                        int utc_offset_minutes = 60);
  ~SimScheduler() override;

  std::int64_t now_utc_ms() const override { return now_; }
  int utc_offset_minutes(std::int64_t) const override { return offset_; }

  std::unique_ptr<Timer> create_timer(const std::string& name, int interval_ms) override;

  // Runs `fn` at now + delay_ms (0: at the next advance, after what is due now).
  void post(std::int64_t delay_ms, std::function<void()> fn);

  // Advances the time by ms, running everything that falls due on the way.
  void advance(std::int64_t ms);
  // Runs everything due now, without moving the time.
  void run_due() { advance(0); }
  // Moves the time to a local civil time (must not be in the past).
  void advance_to_local(const DateTime& t);

  std::int64_t now_local_ms() const { return now_ + std::int64_t{offset_} * 60000; }
  // Due time of the earliest timer or posted event (UTC ms), none when idle.
  std::optional<std::int64_t> next_due() const {
    if (queue_.empty()) return std::nullopt;
    return std::get<0>(queue_.begin()->first);
  }

 private:
  friend class SimTimer;
  using Key = std::tuple<std::int64_t, std::uint64_t>;  // due time, sequence
  Key schedule(std::function<void()> fn, std::int64_t due);
  void cancel(const Key& k) { queue_.erase(k); }

  std::int64_t now_;
  int offset_;
  std::uint64_t seq_ = 0;
  std::map<Key, std::function<void()>> queue_;
  std::shared_ptr<bool> alive_;
};

}  // namespace vireluz
