#include "common/io_loop_qt.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <mutex>
#include <thread>

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

// A lookup by getaddrinfo() in a detached thread of its own: the call cannot
// be interrupted, and neither a cancelled lookup nor the end of the program
// may wait for it (a silent name server holds it for its whole time-out).
// The answer reaches the loop through a context object; a cancelled lookup is
// marked under the lock, so that an answer already on its way does nothing.
class QtLookup : public Request {
 public:
  QtLookup(const std::string& host, IoLoop::ResolveDone done)
      : shared_(std::make_shared<Shared>()), done_(std::make_shared<IoLoop::ResolveDone>(std::move(done))) {
    shared_->context = new QObject;
    if (host.empty() || is_numeric_address(host)) {
      // Nothing to look up: answered from the loop, as a lookup would be.
      IoLoop::Resolved r;
      if (host.empty())
        r.error = "nom de serveur vide";
      else
        r.addresses.push_back(host);
      QTimer::singleShot(0, shared_->context, [done = done_, r] { finish(done, r); });
      return;
    }
    std::thread([shared = shared_, done = done_, host] {
      const IoLoop::Resolved r = lookup(host);
      const std::lock_guard lock(shared->mutex);
      if (!shared->cancelled)
        QMetaObject::invokeMethod(
            shared->context, [done, r] { finish(done, r); }, Qt::QueuedConnection);
    }).detach();
  }
  ~QtLookup() override {
    {
      const std::lock_guard lock(shared_->mutex);
      shared_->cancelled = true;
    }
    *done_ = nullptr;
    shared_->context->deleteLater();  // may be inside its own answer
  }

 private:
  struct Shared {
    std::mutex mutex;
    QObject* context = nullptr;
    bool cancelled = false;
  };

  static IoLoop::Resolved lookup(const std::string& host) {
    IoLoop::Resolved r;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    for (const addrinfo* a = rc == 0 ? found : nullptr; a; a = a->ai_next) {
      char text[INET6_ADDRSTRLEN] = {0};
      const void* where =
          a->ai_family == AF_INET6
              ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(a->ai_addr)->sin6_addr)
              : static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr);
      if ((a->ai_family == AF_INET || a->ai_family == AF_INET6) &&
          inet_ntop(a->ai_family, where, text, sizeof text) &&
          std::find(r.addresses.begin(), r.addresses.end(), text) == r.addresses.end())
        r.addresses.push_back(text);
    }
    if (found) freeaddrinfo(found);
    if (!r.addresses.empty()) return r;
    if (rc == EAI_NONAME || rc == 0)
      r.error = "nom inconnu";
    else if (rc == EAI_AGAIN)
      r.error = "serveur de noms injoignable pour l'instant";
    else
      r.error = std::string("échec de la résolution du nom (") + gai_strerror(rc) + ")";
    return r;
  }

  static void finish(const std::shared_ptr<IoLoop::ResolveDone>& done, const IoLoop::Resolved& r) {
    const auto fn = std::move(*done);
    *done = nullptr;
    if (fn) fn(r);  // may destroy the request
  }

  std::shared_ptr<Shared> shared_;
  std::shared_ptr<IoLoop::ResolveDone> done_;
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
