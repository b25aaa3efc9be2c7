#include "common/timer_qt.h"

#include <QObject>
#include <QTimer>

namespace vireluz {

namespace {

// Same rules as the toolkit timer the program was designed with: enabling
// starts the countdown, changing the interval while enabled restarts it, and
// a zero interval never fires.
class QtTimer : public Timer {
 public:
  QtTimer(const std::string& name, int interval) : interval_(interval) {
    timer_.setObjectName(QString::fromStdString(name));
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { fire(); });
  }

  void set_interval(int ms) override {
    if (ms == interval_) return;
    interval_ = ms;
    if (enabled_) arm();
  }
  int interval() const override { return interval_; }
  void set_enabled(bool on) override {
    if (on == enabled_) return;
    enabled_ = on;
    if (on)
      arm();
    else
      timer_.stop();
  }
  bool enabled() const override { return enabled_; }

 private:
  void arm() {
    if (interval_ <= 0) {
      timer_.stop();
      return;
    }
    timer_.start(interval_);
  }

  QTimer timer_;
  int interval_;
  bool enabled_ = false;
};

}  // namespace

std::unique_ptr<Timer> QtTimerFactory::create_timer(const std::string& name, int interval_ms) {
  return std::make_unique<QtTimer>(name, interval_ms);
}

}  // namespace vireluz
