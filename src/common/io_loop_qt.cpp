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
  QtWatch(int fd, int events, std::function<void(int)> on_ready) : state_(std::make_shared<State>()) {
    state_->on_ready = std::move(on_ready);
    if (events & IoLoop::kRead) add(fd, QSocketNotifier::Read, IoLoop::kRead);
    if (events & IoLoop::kWrite) add(fd, QSocketNotifier::Write, IoLoop::kWrite);
  }
  ~QtWatch() override {
    // The watch may be dropped from inside one of its notifiers' signals:
    // those are deleted once the signal has returned.
    for (QSocketNotifier* n : notifiers_) {
      n->setEnabled(false);
      QObject::disconnect(n, nullptr, nullptr, nullptr);
      if (state_->firing > 0)
        n->deleteLater();
      else
        delete n;
    }
  }

 private:
  struct State {
    std::function<void(int)> on_ready;
    int firing = 0;
  };
  void add(int fd, QSocketNotifier::Type type, int event) {
    auto* n = new QSocketNotifier(fd, type);
    // The state is held by the connection too: the callback may drop this watch.
    QObject::connect(n, &QSocketNotifier::activated, [state = state_, event] {
      const auto hold = state;
      ++hold->firing;
      hold->on_ready(event);
      --hold->firing;
    });
    notifiers_.push_back(n);
  }
  std::shared_ptr<State> state_;
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
