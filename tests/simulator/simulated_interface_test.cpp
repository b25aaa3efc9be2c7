#include "simulator/simulated_interface.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "common/error.h"
#include "common/sim_scheduler.h"
#include "config/settings.h"
#include "support/tic_check.h"

using namespace vireluz;
using simtest::parse_frame;
using simtest::split_frames;

namespace {

struct Bench {
  explicit Bench(const char* description = kSimUsbTwoMeters)
      : sched(DateTime{2026, 6, 18, 12, 0, 0, 0}), sim(description, settings, sched, sched) {}
  void sink() {
    sim.set_sink([this](std::string_view b) { received.append(b); });
  }
  // As the program does it: open, set the pins, close.
  void pins(std::uint8_t mask) {
    FT_HANDLE h = 0;
    ASSERT_EQ(sim.OpenEx(sim.description().c_str(), h), FT_OK);
    ASSERT_EQ(sim.SetBitMode(h, mask, kBitModeCbusBitbang), FT_OK);
    ASSERT_EQ(sim.Close(h), FT_OK);
  }
  std::string take(std::int64_t ms) {
    received.clear();
    sched.advance(ms);
    return received;
  }
  Settings settings;
  SimScheduler sched;
  SimulatedInterface sim;
  std::string received;
};

// The addresses of the complete, valid frames of a stream.
std::vector<std::string> addresses(const std::string& stream) {
  std::vector<std::string> out;
  for (const auto& f : split_frames(stream)) {
    const auto p = parse_frame(f);
    if (!p.all_ok()) continue;
    out.push_back(p.standard ? p.value("ADSC") : p.value("ADCO"));
  }
  return out;
}

}  // namespace

TEST(SimulatedInterface, AnswersLikeTheDriver) {
  Bench b;
  EXPECT_TRUE(b.sim.simulated());
  std::uint32_t n = 0;
  EXPECT_EQ(b.sim.ListDevicesCount(n), FT_OK);
  EXPECT_EQ(n, 1u);
  char buf[64];
  EXPECT_EQ(b.sim.ListDeviceDescription(0, buf), FT_OK);
  EXPECT_STREQ(buf, "Interface USB -> Compteur");
  EXPECT_EQ(b.sim.ListDeviceDescription(1, buf), FT_DEVICE_NOT_FOUND);

  FT_HANDLE h = 0, h2 = 0;
  EXPECT_EQ(b.sim.OpenEx("Interface USB 1 TIC", h), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(b.sim.OpenEx("Interface USB -> Compteur", h), FT_OK);
  EXPECT_NE(h, 0u);
  EXPECT_EQ(b.sim.OpenEx("Interface USB -> Compteur", h2), FT_DEVICE_NOT_OPENED);  // one open at a time
  std::uint32_t q = 99;
  EXPECT_EQ(b.sim.GetQueueStatus(h, q), FT_OK);
  EXPECT_EQ(b.sim.SetLatencyTimer(h, 16), FT_OK);
  EXPECT_EQ(b.sim.SetBitMode(h, 0x72, kBitModeCbusBitbang), FT_OK);
  std::uint8_t pins = 0;
  EXPECT_EQ(b.sim.GetBitMode(h, pins), FT_OK);
  EXPECT_EQ(pins, 0x02);
  std::int32_t com = -1;
  EXPECT_EQ(b.sim.GetComPortNumber(h, com), FT_OK);
  EXPECT_GE(com, 0);
  EXPECT_EQ(b.sim.Close(h), FT_OK);
  // Every call on a closed or unknown handle.
  EXPECT_EQ(b.sim.Close(h), FT_INVALID_HANDLE);
  EXPECT_EQ(b.sim.GetBitMode(h, pins), FT_INVALID_HANDLE);
  EXPECT_EQ(b.sim.SetBitMode(h, 0x71, kBitModeCbusBitbang), FT_INVALID_HANDLE);
  EXPECT_EQ(b.sim.SetLatencyTimer(h, 16), FT_INVALID_HANDLE);
  EXPECT_EQ(b.sim.GetQueueStatus(h, q), FT_INVALID_HANDLE);
  EXPECT_EQ(b.sim.GetComPortNumber(h, com), FT_INVALID_HANDLE);
  EXPECT_EQ(b.sim.ResetPort(h), FT_INVALID_HANDLE);
  // The pins keep their levels once the device is closed.
  EXPECT_EQ(b.sim.OpenEx("Interface USB -> Compteur", h2), FT_OK);
  EXPECT_NE(h2, h);
  EXPECT_EQ(b.sim.GetBitMode(h2, pins), FT_OK);
  EXPECT_EQ(pins, 0x02);
  EXPECT_EQ(b.sim.ResetPort(h2), FT_OK);
  EXPECT_EQ(b.sim.GetBitMode(h2, pins), FT_OK);
  EXPECT_EQ(pins, 0x00);
  EXPECT_EQ(b.sim.Close(h2), FT_OK);
  EXPECT_THROW(SimulatedInterface("Interface inconnue", b.settings, b.sched, b.sched), std::invalid_argument);
}

TEST(SimulatedInterface, PinsSelectTheStream) {
  Bench b;
  b.sink();
  EXPECT_TRUE(b.take(5000).empty());  // nothing selected at power-up
  b.pins(0x71);
  auto got = addresses(b.take(20000));
  ASSERT_GE(got.size(), 7u);
  EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](auto& a) { return a == "SIMU00000001"; }));
  b.pins(0x72);
  got = addresses(b.take(20000));
  ASSERT_GE(got.size(), 7u);
  EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](auto& a) { return a == "SIMU00000002"; }));
  b.pins(0x70);
  EXPECT_TRUE(b.take(5000).empty());
  b.pins(0x73);  // both lines at once: nothing readable
  EXPECT_TRUE(b.take(5000).empty());

  // The one-meter interface has no second meter.
  Bench one(kSimUsbOneMeter);
  one.sink();
  one.pins(0x72);
  EXPECT_TRUE(one.take(5000).empty());
  one.pins(0x71);
  EXPECT_FALSE(addresses(one.take(5000)).empty());
}

TEST(SimulatedInterface, SwitchingConnectsTheOtherLineMidFrame) {
  Bench b;
  b.sink();
  b.pins(0x71);
  b.take(3000);
  b.pins(0x72);
  const std::string after = b.take(3000);
  // The first bytes are the middle of a frame of meter 2, never a tail of meter 1.
  EXPECT_NE(after.front(), '\x02');
  EXPECT_EQ(after.find("SIMU00000001"), std::string::npos);
}

TEST(SimulatedInterface, MetersFollowTheSettingsAndTheOptions) {
  Bench b;
  b.sink();
  b.settings.prg.MODE_TIC_cpt2 = 1;  // meter 2 in standard mode, changed while running
  b.settings.prg.MODE_MONO_TRI = 1;
  b.pins(0x72);
  auto frames = split_frames(b.take(10000));
  ASSERT_GE(frames.size(), 5u);
  auto f = parse_frame(frames.back());
  EXPECT_TRUE(f.standard);
  EXPECT_EQ(f.value("NGTF"), "   PRODUCTEUR   ");
  EXPECT_NE(f.find("SINSTI"), nullptr);
  b.pins(0x71);
  f = parse_frame(split_frames(b.take(10000)).back());
  EXPECT_NE(f.find("IINST1"), nullptr);
  EXPECT_EQ(f.value("OPTARIF"), "HC..");

  b.sim.apply_options("# a comment line\nmeter1=standard,tempo,mono,subscribed:9 ; meter2=unplugged seed=42");
  EXPECT_EQ(b.sim.meter_config(1).seed, 42u);
  EXPECT_EQ(b.sim.meter_config(2).seed, 43u);
  EXPECT_TRUE(b.sim.meter_config(2).unplugged);
  f = parse_frame(split_frames(b.take(5000)).back());
  EXPECT_EQ(f.value("NGTF"), "     TEMPO      ");
  EXPECT_EQ(f.value("PREF"), "09");
  EXPECT_EQ(f.find("IRMS2"), nullptr);
  b.settings.prg.MODE_TIC_cpt1 = 0;  // an option set by hand wins over the settings
  EXPECT_EQ(b.sim.meter_config(1).mode, SimTicMode::STANDARD);

  // Unplugged: nothing at all comes.
  b.pins(0x72);
  EXPECT_TRUE(b.take(10000).empty());
  b.sim.apply_options("meter2=plugged,historique,prod,address:SIMUPROD0002");
  EXPECT_EQ(addresses(b.take(10000)).back(), "SIMUPROD0002");

  for (const char* bad : {"meter3=hc", "meter1=hcx", "corruption=2", "corruption=abc", "seed=-1", "meter1",
                          "meter1=address:SHORT", "meter2=subscribed:0"})
    EXPECT_THROW(b.sim.apply_options(bad), VireluzError) << bad;
  EXPECT_THROW(b.sim.apply_options_file("/nonexistent/options.txt"), VireluzError);
}

TEST(SimulatedInterface, BytesFlowAtTheLinePace) {
  Bench b;
  b.sink();
  b.pins(0x71);
  b.take(3000);
  const std::size_t historic = b.take(60000).size();
  EXPECT_NEAR(static_cast<double>(historic) / 60, 120 * 0.98, 3);  // 120 byte times a second, less the gaps
  b.sim.apply_options("meter1=standard");
  b.take(3000);
  const std::size_t standard = b.take(60000).size();
  EXPECT_NEAR(static_cast<double>(standard) / 60, 960 * 0.97, 15);
  // A historic frame takes about two seconds.
  b.sim.apply_options("meter1=historique");
  const auto frames = split_frames(b.take(60000));
  EXPECT_NEAR(static_cast<double>(frames.size()), 60.0 / ((frames[1].size() + 4) / 120.0), 2);
}

TEST(SimulatedInterface, WrongSpeedGivesGarbage) {
  Bench b;
  b.sink();
  b.pins(0x71);
  b.sim.set_sink_baud(9600);  // historic meter read at 9600 baud
  std::string junk = b.take(10000);
  EXPECT_GT(junk.size(), 1000u);
  EXPECT_EQ(junk.find_first_of("\x02\x03\r\n"), std::string::npos);
  b.sim.apply_options("meter1=standard");
  b.sim.set_sink_baud(1200);  // standard meter read at 1200 baud
  b.take(1000);
  junk = b.take(10000);
  EXPECT_NEAR(static_cast<double>(junk.size()), 1200, 100);
  EXPECT_TRUE(split_frames(junk).empty());
  b.sim.set_sink_baud(9600);
  EXPECT_FALSE(addresses(b.take(5000)).empty());
}

TEST(SimulatedInterface, CorruptionReachesTheLine) {
  Bench b;
  b.sink();
  b.sim.apply_options("corruption=0.002");
  b.pins(0x71);
  int bad = 0, good = 0;
  for (const auto& f : split_frames(b.take(120000)))
    for (const auto& g : parse_frame(f).groups) (g.checksum_ok && g.well_formed ? good : bad)++;
  EXPECT_GT(bad, 3);
  EXPECT_GT(good, 20 * bad);
}

// A day of reading with the program's alternation: every frame valid, the
// indexes only grow, memory stays flat.
TEST(SimulatedInterface, RunsForADayInSimulatedTime) {
  Bench b;
  std::string buffer;
  std::size_t frames = 0, valid = 0;
  long long last_hchp = 0, last_base = 0;
  b.sim.set_sink([&](std::string_view bytes) {
    buffer.append(bytes);
    const std::size_t end = buffer.rfind('\x03');
    if (end == std::string::npos) return;
    for (const auto& f : split_frames(buffer.substr(0, end + 1))) {
      ++frames;
      const auto p = parse_frame(f);
      if (!p.all_ok()) continue;
      ++valid;
      if (p.find("HCHP")) {
        EXPECT_GE(std::stoll(p.value("HCHP")), last_hchp);
        last_hchp = std::stoll(p.value("HCHP"));
      } else if (p.find("BASE")) {
        EXPECT_GE(std::stoll(p.value("BASE")), last_base);
        last_base = std::stoll(p.value("BASE"));
      }
    }
    buffer.erase(0, end + 1);
  });
  int meter = 1;
  for (int i = 0; i < 24 * 720; ++i) {  // a switch every 5 s
    buffer.clear();                     // as the program drops the packet cut by a switch
    b.pins(meter == 1 ? 0x71 : 0x72);
    b.sched.advance(5000);
    meter = 3 - meter;
    ASSERT_LT(buffer.size(), 1000u);
  }
  EXPECT_GT(frames, 24u * 720u);
  EXPECT_GT(valid, frames * 9 / 10);
  EXPECT_GT(last_hchp, 0);
  EXPECT_GT(last_base, 0);
}

// The real pseudo-terminal: the program's side opens the device file and reads.
TEST(SimulatedInterfacePty, FramesArriveOnTheSerialDevice) {
  Bench b;
  const std::string path = b.sim.serial_device_name(0);
  ASSERT_FALSE(path.empty());
  auto open_port = [&](speed_t speed) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    tcsetattr(fd, TCSANOW, &t);
    return fd;
  };
  auto read_all = [](int fd) {
    std::string s;
    char buf[4096];
    for (;;) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n <= 0) break;
      s.append(buf, static_cast<std::size_t>(n));
    }
    return s;
  };
  auto run = [&](int fd, int ms) {
    std::string s;
    for (int t = 0; t < ms; t += 50) {
      b.sched.advance(50);
      s += read_all(fd);
    }
    return s;
  };

  int fd = open_port(B1200);
  b.pins(0x71);
  std::string got = run(fd, 8000);
  EXPECT_NEAR(static_cast<double>(got.size()), 8 * 118, 30);
  auto frames = split_frames(got);
  ASSERT_GE(frames.size(), 2u);
  for (const auto& f : frames) EXPECT_TRUE(parse_frame(f).all_ok());
  EXPECT_EQ(addresses(got).back(), "SIMU00000001");

  // The program closes the port, switches to meter 2 and reopens it.
  ::close(fd);
  b.pins(0x72);
  b.sched.advance(100);
  fd = open_port(B1200);
  got = run(fd, 8000);
  EXPECT_EQ(got.find("SIMU00000001"), std::string::npos);
  EXPECT_EQ(addresses(got).back(), "SIMU00000002");

  // The port at the wrong speed: garbage.
  termios t{};
  tcgetattr(fd, &t);
  cfsetispeed(&t, B9600);
  cfsetospeed(&t, B9600);
  tcsetattr(fd, TCSANOW, &t);
  got = run(fd, 3000);
  EXPECT_FALSE(got.empty());
  EXPECT_TRUE(split_frames(got).empty());

  // Nobody reads for a long while: bytes are dropped, nothing blocks.
  b.sim.apply_options("meter2=standard");
  cfsetispeed(&t, B9600);
  tcsetattr(fd, TCSANOW, &t);
  for (int i = 0; i < 2 * 60 * 20; ++i) b.sched.advance(50);
  EXPECT_GT(b.sim.bytes_dropped(), 0u);
  ::close(fd);
  // With the slave closed the simulator carries on.
  b.sched.advance(2000);
}
