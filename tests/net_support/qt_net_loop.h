#pragma once
// The real network clients run on a Qt event loop: tests that talk to peers
// on 127.0.0.1 run this loop until what they wait for has happened. A timer
// ticking every 5 ms notes how late it fires, which is how long the loop was
// held by anything (the longest stall).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "common/curl_multi_curl.h"
#include "common/io_loop_qt.h"

namespace vireluz::testing {

class QtNetLoop {
 public:
  QtNetLoop() {
    if (!QCoreApplication::instance()) {
      static int argc = 1;
      static char name[] = "test";
      static char* argv[] = {name, nullptr};
      static QCoreApplication app(argc, argv);
    }
    ticker_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker_, &QTimer::timeout, [this] {
      const qint64 now = clock_.elapsed();
      if (last_ >= 0) longest_stall_ms = std::max(longest_stall_ms, now - last_ - kTickMs);
      last_ = now;
    });
  }

  // Runs the loop until done() holds or timeout_ms has passed; returns done().
  bool run_until(const std::function<bool()>& done, int timeout_ms = 40000) {
    QElapsedTimer t;
    t.start();
    clock_.start();
    last_ = -1;
    longest_stall_ms = 0;
    ticker_.start(kTickMs);
    if (!done()) {
      QEventLoop events;
      QTimer check;
      QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || t.elapsed() >= timeout_ms) events.quit();
      });
      check.start(10);
      events.exec();
    }
    ticker_.stop();
    return done();
  }
  // Runs the loop for a while.
  void run_for(int ms) {
    QElapsedTimer t;
    t.start();
    run_until([&] { return t.elapsed() >= ms; }, ms + 1000);
  }

  QtIoLoop io;
  CurlMulti multi{io};
  qint64 longest_stall_ms = 0;  // of the last run

 private:
  static constexpr int kTickMs = 5;
  QTimer ticker_;
  QElapsedTimer clock_;
  qint64 last_ = -1;
};

}  // namespace vireluz::testing
