#include "common/io_loop_qt.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>
#include <vector>

namespace vireluz {

namespace {

class QtWatch : public IoLoop::Watch {
 public:
  QtWatch(int fd, int events, std::function<void(int)> on_ready)
      : on_ready_(std::make_shared<std::function<void(int)>>(std::move(on_ready))) {
    if (events & IoLoop::kRead) add(fd, QSocketNotifier::Read, IoLoop::kRead);
    if (events & IoLoop::kWrite) add(fd, QSocketNotifier::Write, IoLoop::kWrite);
  }
  ~QtWatch() override {
    // The watch may be dropped from inside the notifier's own signal: disable
    // it now and let Qt delete it once the signal has returned.
    for (QSocketNotifier* n : notifiers_) {
      n->setEnabled(false);
      QObject::disconnect(n, nullptr, nullptr, nullptr);
      n->deleteLater();
    }
  }

 private:
  void add(int fd, QSocketNotifier::Type type, int event) {
    auto* n = new QSocketNotifier(fd, type);
    // The callback is held by the connection too: it may drop this watch.
    QObject::connect(n, &QSocketNotifier::activated, [cb = on_ready_, event] {
      const auto hold = cb;
      (*hold)(event);
    });
    notifiers_.push_back(n);
  }
  std::shared_ptr<std::function<void(int)>> on_ready_;
  std::vector<QSocketNotifier*> notifiers_;
};

class QtAlarm : public IoLoop::Alarm {
 public:
  explicit QtAlarm(std::function<void()> fn) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, std::move(fn));
  }
  void start(int ms) override { timer_.start(ms < 0 ? 0 : ms); }
  void stop() override { timer_.stop(); }

 private:
  QTimer timer_;
};

}  // namespace

std::unique_ptr<IoLoop::Watch> QtIoLoop::watch(int fd, int events, std::function<void(int)> on_ready) {
  return std::make_unique<QtWatch>(fd, events, std::move(on_ready));
}

std::unique_ptr<IoLoop::Alarm> QtIoLoop::alarm(std::function<void()> fn) {
  return std::make_unique<QtAlarm>(std::move(fn));
}

std::int64_t QtIoLoop::now_ms() const {
  static QElapsedTimer clock = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return clock.elapsed();
}

}  // namespace vireluz
