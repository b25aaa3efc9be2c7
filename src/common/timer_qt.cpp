#include "common/timer_qt.h"

#include <QObject>
#include <QTimer>

namespace vireluz {

namespace {

// Same rules as the toolkit timer the program was designed with: enabling
// starts the countdown, changing the interval while enabled restarts it, and
// a zero interval never fires.
class QtTimer : public CountdownTimer {
 public:
  QtTimer(const std::string& name, int interval) : CountdownTimer(interval) {
    timer_.setObjectName(QString::fromStdString(name));
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { fire(); });
  }

 private:
  void start(int ms) override { timer_.start(ms); }
  void stop() override { timer_.stop(); }

  QTimer timer_;
};

}  // namespace

std::unique_ptr<Timer> QtTimerFactory::create_timer(const std::string& name, int interval_ms) {
  return std::make_unique<QtTimer>(name, interval_ms);
}

}  // namespace vireluz
