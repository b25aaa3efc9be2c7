#pragma once
// The timer port, with the semantics of a windowed toolkit's timer: a timer
// fires every `interval` ms while enabled; enabling it, or changing its
// interval while enabled, starts the countdown afresh. Handlers run on the one
// event thread, one at a time.
#include <functional>
#include <memory>
#include <string>

namespace vireluz {

class Timer {
 public:
  virtual ~Timer() = default;
  virtual void set_interval(int ms) = 0;
  virtual int interval() const = 0;
  virtual void set_enabled(bool on) = 0;
  virtual bool enabled() const = 0;
  void set_handler(std::function<void()> h) { handler_ = std::move(h); }

 protected:
  void fire() {
    if (handler_) handler_();
  }

 private:
  std::function<void()> handler_;
};

// The enabling and interval rules above, written once for the timers that
// count down themselves: they only say how to start and stop the countdown.
class CountdownTimer : public Timer {
 public:
  explicit CountdownTimer(int interval_ms) : interval_(interval_ms) {}
  void set_interval(int ms) override {
    if (ms == interval_) return;
    interval_ = ms;
    if (enabled_) restart();
  }
  int interval() const override { return interval_; }
  void set_enabled(bool on) override {
    if (on == enabled_) return;
    enabled_ = on;
    if (on)
      restart();
    else
      stop();
  }
  bool enabled() const override { return enabled_; }

 protected:
  // A new countdown of interval() from now (none when interval() <= 0, as a
  // Windows timer with a zero interval never fires).
  void restart() {
    stop();
    if (interval_ > 0) start(interval_);
  }
  virtual void start(int ms) = 0;
  virtual void stop() = 0;

 private:
  int interval_;
  bool enabled_ = false;
};

class TimerFactory {
 public:
  virtual ~TimerFactory() = default;
  // A new disabled timer with the given interval. The name is the component
  // name (Timer_sauv, Timer_cpts, ...), for diagnostics.
  virtual std::unique_ptr<Timer> create_timer(const std::string& name, int interval_ms) = 0;
};

// A timer factory whose timers run their handler inside `guard` (the
// program's guard, which shows what a handler throws).
class GuardedTimerFactory : public TimerFactory {
 public:
  using Guard = std::function<void(const std::function<void()>&)>;
  GuardedTimerFactory(TimerFactory& inner, Guard guard) : inner_(inner), guard_(std::move(guard)) {}
  std::unique_ptr<Timer> create_timer(const std::string& name, int interval_ms) override {
    return std::make_unique<Guarded>(inner_.create_timer(name, interval_ms), guard_);
  }

 private:
  class Guarded : public Timer {
   public:
    Guarded(std::unique_ptr<Timer> inner, Guard guard) : inner_(std::move(inner)) {
      inner_->set_handler([this, guard = std::move(guard)] { guard([this] { fire(); }); });
    }
    void set_interval(int ms) override { inner_->set_interval(ms); }
    int interval() const override { return inner_->interval(); }
    void set_enabled(bool on) override { inner_->set_enabled(on); }
    bool enabled() const override { return inner_->enabled(); }

   private:
    std::unique_ptr<Timer> inner_;
  };

  TimerFactory& inner_;
  Guard guard_;
};

}  // namespace vireluz
