// The serial adapter over a real pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <string>

#include "acquisition/serial_port_qt.h"
#include "common/error.h"
#include "common/timer_qt.h"

namespace vireluz {
namespace {

void pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

template <typename Pred>
bool pump_until(Pred p, int ms = 2000) {
  QElapsedTimer t;
  t.start();
  while (!p() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return p();
}

class PtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int slave = -1;
    char name[128] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    path = name;
    // Raw on the master side, so that nothing written there is translated.
    termios tio{};
    tcgetattr(master, &tio);
    cfmakeraw(&tio);
    tcsetattr(master, TCSANOW, &tio);
    ::close(slave);
    port.set_port_name(path);
    port.on_data = [this](std::string_view b) {
      received.append(b);
      ++blocks;
    };
    port.on_lost = [this](const std::string&) { ++lost; };
  }
  void TearDown() override {
    port.disconnect();
    if (master >= 0) ::close(master);
  }
  void send(const std::string& s) {
    ASSERT_EQ(::write(master, s.data(), s.size()), static_cast<ssize_t>(s.size()));
  }

  int master = -1;
  std::string path;
  ComPort1 port;
  std::string received;
  int blocks = 0;
  int lost = 0;
};

TEST_F(PtyTest, LineSettingsLeaveParityUnchecked) {
  port.set_baud_rate(1200);
  ASSERT_NO_THROW(port.connect());
  ASSERT_TRUE(port.connected());
  termios tio{};
  ASSERT_EQ(tcgetattr(master, &tio), 0);  // the pair shares one termios
  // The Linux pty driver forces CS8 without parity in c_cflag, so only the
  // input flags and the speed can be checked here.
  EXPECT_FALSE(tio.c_cflag & CSTOPB);
  EXPECT_FALSE(tio.c_cflag & CRTSCTS);
  EXPECT_FALSE(tio.c_iflag & INPCK);
  EXPECT_FALSE(tio.c_iflag & PARMRK);
  EXPECT_FALSE(tio.c_iflag & ISTRIP);
  EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF));
  EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B1200));
  port.set_baud_rate(9600);  // at a switch, while connected
  ASSERT_EQ(tcgetattr(master, &tio), 0);
  EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B9600));
}

TEST_F(PtyTest, EveryByteOfATicLineArrivesUnchanged) {
  port.connect();
  std::string frame = "\x02\nADCO 021528603314 ?\r\nOPTARIF HC.. <\r\nISOUSC 30 9\r\nPAPP 00420 )\r\x03";
  std::string all;
  for (int c = 1; c < 128; ++c) all += static_cast<char>(c);  // every 7-bit value but NUL
  send(frame + all);
  ASSERT_TRUE(pump_until([&] { return received.size() >= frame.size() + all.size(); }));
  EXPECT_EQ(received, frame + all);
  EXPECT_GE(blocks, 1);
}

TEST_F(PtyTest, DeviceGoneClosesThePortAndReportsOnce) {
  port.connect();
  send("\x02\nADCO");
  ASSERT_TRUE(pump_until([&] { return !received.empty(); }));
  ::close(master);
  master = -1;
  ASSERT_TRUE(pump_until([&] { return lost > 0; }));
  EXPECT_FALSE(port.connected());
  pump(300);
  EXPECT_EQ(lost, 1);
}

TEST_F(PtyTest, ReconnectAfterDisconnectKeepsReading) {
  port.connect();
  port.disconnect();
  EXPECT_FALSE(port.connected());
  port.connect();
  send("abc");
  ASSERT_TRUE(pump_until([&] { return received == "abc"; }));
  EXPECT_EQ(lost, 0);
}

TEST(SerialPortQt, PortThatCannotOpenThrowsAFrenchMessage) {
  ComPort1 port;
  port.set_port_name("/dev/does-not-exist-vireluz");
  try {
    port.connect();
    FAIL() << "no exception";
  } catch (const VireluzError& e) {
    EXPECT_EQ(
        std::string(e.what()).rfind(w("Impossible d'ouvrir le port série /dev/does-not-exist-vireluz"), 0),
        0u);
  }
  EXPECT_FALSE(port.connected());
}

TEST(QtTimers, EnableIntervalAndRestart) {
  QtTimerFactory f;
  auto t = f.create_timer("Timer_test", 30);
  int ticks = 0;
  t->set_handler([&] { ++ticks; });
  EXPECT_FALSE(t->enabled());
  pump(80);
  EXPECT_EQ(ticks, 0);
  t->set_enabled(true);
  ASSERT_TRUE(pump_until([&] { return ticks >= 2; }, 1000));
  t->set_enabled(false);
  const int at_stop = ticks;
  pump(80);
  EXPECT_EQ(ticks, at_stop);
  t->set_interval(0);
  t->set_enabled(true);
  pump(60);
  EXPECT_EQ(ticks, at_stop);  // a zero interval never fires
  EXPECT_EQ(t->interval(), 0);
}

}  // namespace
}  // namespace vireluz

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
