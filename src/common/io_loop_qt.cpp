#include "common/io_loop_qt.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <limits>

namespace vireluz {

namespace {

std::int64_t monotonic_ms() {
  static const QElapsedTimer clock = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return clock.elapsed();
}

class QtWatch : public IoLoop::Watch {
 public:
  QtWatch(int fd, int events, std::function<void(int)> on_ready)
      : fd_(fd), state_(std::make_shared<State>()) {
    state_->on_ready = std::move(on_ready);
    set_events(events);
  }
  ~QtWatch() override {
    for (QSocketNotifier* n : {read_, write_}) {
      if (!n) continue;
      n->setEnabled(false);
      QObject::disconnect(n, nullptr, nullptr, nullptr);
      // Dropped from inside one of its own notifiers' signals: deleted once
      // the signal has returned.
      if (state_->firing > 0)
        n->deleteLater();
      else
        delete n;
    }
  }

  void set_events(int events) override {
    events_ = events;
    enable(read_, QSocketNotifier::Read, IoLoop::kRead);
    enable(write_, QSocketNotifier::Write, IoLoop::kWrite);
  }
  int events() const override { return events_; }

 private:
  struct State {
    std::function<void(int)> on_ready;
    int firing = 0;
  };

  void enable(QSocketNotifier*& n, QSocketNotifier::Type type, int event) {
    const bool on = (events_ & event) != 0;
    if (!n) {
      if (!on) return;
      n = new QSocketNotifier(fd_, type);
      // The state is held by the connection too: the callback may drop the watch.
      QObject::connect(n, &QSocketNotifier::activated, [state = state_, event] {
        const auto hold = state;
        ++hold->firing;
        try {
          hold->on_ready(event);
        } catch (...) {
          --hold->firing;
          throw;
        }
        --hold->firing;
      });
    }
    if (n->isEnabled() != on) n->setEnabled(on);
  }

  int fd_;
  int events_ = 0;
  std::shared_ptr<State> state_;
  QSocketNotifier* read_ = nullptr;
  QSocketNotifier* write_ = nullptr;
};

// A lookup in Qt's resolver threads. Its answer reaches the loop through a
// context object; a cancelled lookup drops its callback, so that an answer
// already on its way does nothing.
class QtLookup : public Request {
 public:
  QtLookup(const std::string& host, IoLoop::ResolveDone done)
      : context_(new QObject), done_(std::make_shared<IoLoop::ResolveDone>(std::move(done))) {
    const QString name = QString::fromStdString(host);
    if (name.isEmpty() || !QHostAddress(name).isNull()) {
      // Nothing to look up: answered from the loop, as a lookup would be.
      QTimer::singleShot(0, context_, [done = done_, host] {
        IoLoop::Resolved r;
        if (host.empty())
          r.error = "nom de serveur vide";
        else
          r.addresses.push_back(host);
        finish(done, r);
      });
      return;
    }
    id_ = std::make_shared<int>(-1);
    *id_ = QHostInfo::lookupHost(name, context_, [done = done_, id = id_](const QHostInfo& info) {
      *id = -1;
      IoLoop::Resolved r;
      for (const QHostAddress& a : info.addresses()) r.addresses.push_back(a.toString().toStdString());
      if (r.addresses.empty())
        r.error = info.error() == QHostInfo::HostNotFound
                      ? std::string("nom inconnu")
                      : "échec de la résolution du nom (" + info.errorString().toStdString() + ")";
      finish(done, r);
    });
  }
  ~QtLookup() override {
    *done_ = nullptr;
    if (id_ && *id_ >= 0) QHostInfo::abortHostLookup(*id_);
    context_->deleteLater();  // may be inside its own answer
  }

 private:
  static void finish(const std::shared_ptr<IoLoop::ResolveDone>& done, const IoLoop::Resolved& r) {
    const auto fn = std::move(*done);
    *done = nullptr;
    if (fn) fn(r);  // may destroy the request
  }

  QObject* context_;
  std::shared_ptr<IoLoop::ResolveDone> done_;
  std::shared_ptr<int> id_;
};

}  // namespace

struct QtIoLoop::Impl {
  Impl()
      : alarms([] { return monotonic_ms(); },
               [this](std::optional<std::int64_t> next) {
                 if (!next) {
                   timer.stop();
                   return;
                 }
                 const std::int64_t ms = std::max<std::int64_t>(0, *next - monotonic_ms());
                 timer.start(static_cast<int>(std::min<std::int64_t>(ms, std::numeric_limits<int>::max())));
               }) {
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [this] { alarms.run_due(); });
  }
  QTimer timer;
  AlarmList alarms;
};

QtIoLoop::QtIoLoop() : impl_(std::make_unique<Impl>()) {}
QtIoLoop::~QtIoLoop() = default;

std::unique_ptr<IoLoop::Watch> QtIoLoop::watch(int fd, int events, std::function<void(int)> on_ready) {
  return std::make_unique<QtWatch>(fd, events, std::move(on_ready));
}

std::unique_ptr<IoLoop::Alarm> QtIoLoop::alarm(std::function<void()> fn) {
  return impl_->alarms.make(std::move(fn));
}

RequestHandle QtIoLoop::resolve(const std::string& host, ResolveDone done) {
  return std::make_unique<QtLookup>(host, std::move(done));
}

std::int64_t QtIoLoop::now_ms() const { return monotonic_ms(); }

}  // namespace vireluz
