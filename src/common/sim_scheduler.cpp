#include "common/sim_scheduler.h"

#include <stdexcept>

namespace vireluz {

class SimTimer : public CountdownTimer {
 public:
  SimTimer(SimScheduler& s, int interval) : CountdownTimer(interval), sched_(s), alive_(s.alive_) {}
  ~SimTimer() override {
    if (*alive_) stop();
  }

 private:
  void start(int ms) override {
    key_ = sched_.schedule([this] { tick(); }, sched_.now_ + ms);
    armed_ = true;
  }
  void stop() override {
    if (armed_) sched_.cancel(key_);
    armed_ = false;
  }
  void tick() {
    armed_ = false;
    // Re-arm first: the handler may change the interval or disable the timer,
    // which re-arms or disarms from the present time.
    restart();
    fire();
  }

  SimScheduler& sched_;
  std::shared_ptr<bool> alive_;
  bool armed_ = false;
  SimScheduler::Key key_{};
};

SimScheduler::SimScheduler(const DateTime& start_local, int utc_offset_minutes)
    : now_(ms_from_civil(start_local) - std::int64_t{utc_offset_minutes} * 60000),
      offset_(utc_offset_minutes),
      alive_(std::make_shared<bool>(true)) {}

SimScheduler::~SimScheduler() { *alive_ = false; }

std::unique_ptr<Timer> SimScheduler::create_timer(const std::string&, int interval_ms) {
  return std::make_unique<SimTimer>(*this, interval_ms);
}

SimScheduler::Key SimScheduler::schedule(std::function<void()> fn, std::int64_t due) {
  Key k{due, seq_++};
  queue_.emplace(k, std::move(fn));
  return k;
}

void SimScheduler::post(std::int64_t delay_ms, std::function<void()> fn) {
  schedule(std::move(fn), now_ + (delay_ms < 0 ? 0 : delay_ms));
}

void SimScheduler::advance(std::int64_t ms) {
  if (ms < 0) throw std::invalid_argument("SimScheduler::advance: negative");
  const std::int64_t end = now_ + ms;
  while (!queue_.empty()) {
    auto it = queue_.begin();
    const auto due = std::get<0>(it->first);
    if (due > end) break;
    auto fn = std::move(it->second);
    queue_.erase(it);
    if (due > now_) now_ = due;
    fn();
  }
  now_ = end;
}

void SimScheduler::advance_to_local(const DateTime& t) {
  const std::int64_t target = ms_from_civil(t) - std::int64_t{offset_} * 60000;
  if (target < now_) throw std::invalid_argument("SimScheduler::advance_to_local: in the past");
  advance(target - now_);
}

}  // namespace vireluz
