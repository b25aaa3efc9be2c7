// Loaded into the program with LD_PRELOAD by the end-to-end tests, which
// thus measure any build of it: once the Qt application exists, a 5-ms timer
// notes how late it fires, and when the event loop ends every delay of 10 ms
// or more (the loop held) goes to the file named by VIRELUZ_STALL_FILE, one
// line each: when it ended (ms since the start) and its length (ms).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

namespace {

struct Probe {
  QElapsedTimer run_time, since_tick;
  QByteArray stalls;
  QTimer ticker;
};

void start_probe() {
  const QString path = QString::fromLocal8Bit(qgetenv("VIRELUZ_STALL_FILE"));
  if (path.isEmpty()) return;
  auto* probe = new Probe;
  probe->ticker.setTimerType(Qt::PreciseTimer);
  QObject::connect(&probe->ticker, &QTimer::timeout, [probe] {
    if (const qint64 late = probe->since_tick.restart() - 5; late >= 10)
      probe->stalls += QByteArray::number(probe->run_time.elapsed()) + ' ' + QByteArray::number(late) + '\n';
  });
  QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [probe, path] {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(probe->stalls);
    delete probe;
  });
  probe->run_time.start();
  probe->since_tick.start();
  probe->ticker.start(5);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(start_probe)
