#include "simulator/simulated_interface.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "common/error.h"
#include "common/text.h"
#include "config/settings.h"

namespace vireluz {

namespace {

constexpr int kPumpIntervalMs = 50;
constexpr int kFrameGapMs = 30;           // silence between two frames
constexpr std::int64_t kMaxLagMs = 5000;  // beyond this the line's bytes are simply lost

int gap_slots(int baud) { return (kFrameGapMs * baud + 9999) / 10000; }

int speed_to_baud(speed_t s) {
  switch (s) {
    case B300:
      return 300;
    case B600:
      return 600;
    case B1200:
      return 1200;
    case B2400:
      return 2400;
    case B4800:
      return 4800;
    case B9600:
      return 9600;
    case B19200:
      return 19200;
    case B38400:
      return 38400;
    case B57600:
      return 57600;
    case B115200:
      return 115200;
    default:
      return 0;
  }
}

std::uint64_t next_random(std::uint64_t& s) {
  s += 0x9E3779B97F4A7C15ull;
  std::uint64_t x = s;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

bool same_config(const VirtualMeterConfig& a, const VirtualMeterConfig& b) {
  return a.mode == b.mode && a.option == b.option && a.solar == b.solar && a.three_phase == b.three_phase &&
         a.subscribed == b.subscribed && a.peak_va == b.peak_va && a.address == b.address &&
         a.unplugged == b.unplugged && a.corruption == b.corruption && a.seed == b.seed && a.swap == b.swap &&
         a.replaced_after_s == b.replaced_after_s;
}

}  // namespace

SimulatedInterface::SimulatedInterface(std::string description, const Settings& settings,
                                       TimerFactory& timers, Clock& clock)
    : description_(std::move(description)), settings_(settings), clock_(clock) {
  if (description_ != kSimUsbTwoMeters && description_ != kSimXbeeTwoMeters &&
      description_ != kSimUsbOneMeter)
    throw std::invalid_argument("unknown interface description: " + description_);
  refresh_meters();
  timer_ = timers.create_timer("Timer_simulateur", kPumpIntervalMs);
  timer_->set_handler([this] { pump(); });
  timer_->set_enabled(true);
}

SimulatedInterface::~SimulatedInterface() {
  timer_.reset();
  if (slave_fd_ >= 0) ::close(slave_fd_);
  if (master_fd_ >= 0) ::close(master_fd_);
}

// ---- meters and options ----

VirtualMeterConfig SimulatedInterface::effective_config(int meter) const {
  const SimMeter& m = meters_[meter - 1];
  if ((m.set & kSimAll) == kSimAll) return m.explicit_config;
  VirtualMeterConfig c = default_meter_config(meter, settings_);
  const VirtualMeterConfig& e = m.explicit_config;
  if (m.set & kSimMode) c.mode = e.mode;
  if (m.set & kSimPhases) c.three_phase = e.three_phase;
  if (m.set & kSimUnplugged) c.unplugged = e.unplugged;
  if (m.set & kSimOption) {
    c.option = e.option;
    c.solar = e.solar;
  }
  if (m.set & kSimSubscribed) c.subscribed = e.subscribed;
  if (m.set & kSimPeak) c.peak_va = e.peak_va;
  if (m.set & kSimAddress) c.address = e.address;
  if (m.set & kSimCorruption) c.corruption = e.corruption;
  if (m.set & kSimSeed) c.seed = e.seed;
  if (m.set & kSimSwap) c.swap = e.swap;
  if (m.set & kSimReplaced) c.replaced_after_s = e.replaced_after_s;
  return c;
}

void SimulatedInterface::refresh_meters() {
  for (int i = 1; i <= 2; ++i) {
    SimMeter& m = meters_[i - 1];
    const VirtualMeterConfig c = effective_config(i);
    if (!m.meter)
      m.meter = std::make_unique<VirtualMeter>(c, i);
    else if (!same_config(m.meter->config(), c))
      m.meter->set_config(c);
  }
}

void SimulatedInterface::configure_meter(int meter, const VirtualMeterConfig& config) {
  if (meter != 1 && meter != 2) throw std::invalid_argument("meter must be 1 or 2");
  meters_[meter - 1].explicit_config = config;
  meters_[meter - 1].set = kSimAll;
  refresh_meters();
}

VirtualMeterConfig SimulatedInterface::meter_config(int meter) const { return effective_config(meter); }

const VirtualMeter& SimulatedInterface::meter(int meter) const { return *meters_[meter == 2 ? 1 : 0].meter; }

void SimulatedInterface::apply_options(std::string_view options) {
  // Each meter starts from what is in force, so that a word changes only its
  // property; what the items before a faulty one set stays.
  std::array<SimMeterOptions, 2> m;
  for (std::size_t i = 0; i < 2; ++i) m[i] = {effective_config(static_cast<int>(i) + 1), meters_[i].set};
  auto keep = [&] {
    for (std::size_t i = 0; i < 2; ++i) {
      meters_[i].explicit_config = m[i].config;
      meters_[i].set = m[i].set;
    }
  };
  try {
    apply_sim_options(options, m);
  } catch (...) {
    keep();
    throw;
  }
  keep();
  refresh_meters();
}

void SimulatedInterface::apply_options_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw VireluzError(w("Impossible de lire le fichier d'options de simulation : ") + path);
  std::ostringstream ss;
  ss << in.rdbuf();
  apply_options(ss.str());
}

// ---- the line ----

int SimulatedInterface::selected_meter() const {
  if (!bitbang_) return 0;
  const std::uint8_t high = pins_ & outputs_;
  const bool c0 = high & 0x01, c1 = high & 0x02;
  if (c0 && !c1) return 1;
  if (c1 && !c0) return description_ == kSimUsbOneMeter ? 0 : 2;
  return 0;  // none, or both lines at once: nothing readable
}

void SimulatedInterface::set_sink(std::function<void(std::string_view)> sink) { sink_ = std::move(sink); }

char SimulatedInterface::junk() {
  // What a receiver set to the wrong speed makes of a TIC line: framing
  // errors that read as runs of high or low bits. Never a frame delimiter.
  static constexpr unsigned char kJunk[] = {0x00, 0x80, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE,
                                            0xFF, 0x78, 0x06, 0x60, 0x1E, 0x7F, 0xC0};
  return static_cast<char>(kJunk[next_random(junk_state_) % sizeof kJunk]);
}

void SimulatedInterface::connect_line(int meter, std::int64_t now_ms, bool flush) {
  line_ = Line{};
  line_.meter = meter;
  // Another line connected: the unread bytes of the previous one go, as a
  // real port drops them when the program closes it around the switch.
  if (flush && slave_fd_ >= 0) tcflush(slave_fd_, TCIFLUSH);
  if (meter == 0) return;
  VirtualMeter& m = *meters_[meter - 1].meter;
  line_.baud = m.baud();
  line_.t0_ms = now_ms;
  // The meter was already sending: the line comes in the middle of a frame.
  const std::int64_t local = now_ms + std::int64_t{clock_.utc_offset_minutes(now_ms)} * 60000;
  line_.frame = m.next_frame(civil_from_ms(local));
  line_.pos = static_cast<std::size_t>(next_random(junk_state_) % line_.frame.size());
  line_.gap = gap_slots(line_.baud);
}

int SimulatedInterface::reader_baud() {
  if (sink_) return sink_baud_;
  const int fd = slave_fd_ >= 0 ? slave_fd_ : master_fd_;
  termios t{};
  if (fd < 0 || tcgetattr(fd, &t) != 0) return 0;
  return speed_to_baud(cfgetispeed(&t));
}

void SimulatedInterface::pump() {
  refresh_meters();
  const std::int64_t now = clock_.now_utc_ms();
  int sel = selected_meter();
  if (sel != 0 && meters_[sel - 1].meter->config().unplugged) sel = 0;
  if (sel != line_.meter) connect_line(sel, now, true);
  if (line_.meter == 0) return;

  VirtualMeter& m = *meters_[line_.meter - 1].meter;
  const int baud = m.baud();
  if (baud != line_.baud || now < line_.t0_ms) {
    // The meter's TIC mode changed (it now sends other frames at another
    // speed), or the clock went back: the line starts afresh.
    connect_line(line_.meter, now, false);
    return;
  }
  const std::int64_t due = (now - line_.t0_ms) * baud / 10000 - line_.byte_slots;
  if (due <= 0) return;
  if (due > kMaxLagMs * baud / 10000) {
    // Nothing was pumped for a long while (the event loop was blocked): what
    // the line carried meanwhile is lost, the reader picks it up mid-frame.
    connect_line(line_.meter, now, false);
    return;
  }
  const int reader = reader_baud();
  const bool mismatch = reader != 0 && reader != baud;
  const std::int64_t every = mismatch && reader < baud ? baud / reader : 1;
  std::string out;
  out.reserve(static_cast<std::size_t>(due));
  for (std::int64_t k = 0; k < due; ++k) {
    const std::int64_t slot = line_.byte_slots++;
    char c;
    if (line_.pos < line_.frame.size()) {
      c = line_.frame[line_.pos++];
    } else if (line_.gap > 0) {
      --line_.gap;
      continue;
    } else {
      const std::int64_t utc = line_.t0_ms + slot * 10000 / baud;
      const std::int64_t local = utc + std::int64_t{clock_.utc_offset_minutes(utc)} * 60000;
      line_.frame = m.next_frame(civil_from_ms(local));
      line_.pos = 0;
      line_.gap = gap_slots(baud);
      c = line_.frame[line_.pos++];
    }
    if (!mismatch)
      out.push_back(c);
    else if (slot % every == 0)
      out.push_back(junk());
  }
  // Keep the slot count small: rebase the time line once a second.
  if (line_.byte_slots >= baud / 10) {
    const std::int64_t whole = line_.byte_slots / (baud / 10);
    line_.t0_ms += whole * 1000;
    line_.byte_slots -= whole * (baud / 10);
  }
  deliver(out);
}

void SimulatedInterface::deliver(const std::string& bytes) {
  if (bytes.empty()) return;
  if (sink_) {
    bytes_sent_ += bytes.size();
    sink_(bytes);
    return;
  }
  if (!ensure_pty()) {
    bytes_dropped_ += bytes.size();
    return;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(master_fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // buffer full (EAGAIN) or no reader (EIO): the rest is lost, as on a line
    }
  }
  bytes_sent_ += done;
  bytes_dropped_ += bytes.size() - done;
}

bool SimulatedInterface::ensure_pty() {
  if (master_fd_ >= 0) return true;
  if (pty_failed_) return false;
  int master = -1, slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    pty_failed_ = true;
    return false;
  }
  char name[128];
  if (ptsname_r(master, name, sizeof name) != 0) {
    ::close(master);
    ::close(slave);
    pty_failed_ = true;
    return false;
  }
  termios t{};
  if (tcgetattr(slave, &t) == 0) {
    cfmakeraw(&t);
    cfsetispeed(&t, B1200);
    cfsetospeed(&t, B1200);
    tcsetattr(slave, TCSANOW, &t);
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  // The simulator keeps a slave descriptor of its own so that the line stays
  // up while the program closes and reopens the port around a switch.
  master_fd_ = master;
  slave_fd_ = slave;
  slave_path_ = name;
  // The program opens the line through this process's own descriptor rather
  // than /dev/pts/N. Serial ports take a lock file named after the path, and a
  // lock left by another user's killed run on the same pseudo-terminal number
  // could not be removed and would refuse the port; this name is ours alone.
  device_path_ = "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(slave);
  return true;
}

std::string SimulatedInterface::slave_path() {
  ensure_pty();
  return device_path_;
}

// ---- D2xx ----

FT_STATUS SimulatedInterface::ListDevicesCount(std::uint32_t& count) {
  count = 1;
  return FT_OK;
}

FT_STATUS SimulatedInterface::ListDeviceDescription(std::uint32_t index, char (&buffer)[64]) {
  if (index != 0) return FT_DEVICE_NOT_FOUND;
  std::memset(buffer, 0, sizeof buffer);
  std::memcpy(buffer, description_.data(), std::min(description_.size(), sizeof buffer - 1));
  return FT_OK;
}

FT_STATUS SimulatedInterface::OpenEx(const char* description, FT_HANDLE& handle) {
  handle = 0;
  if (description == nullptr) return FT_INVALID_PARAMETER;
  if (description_ != description) return FT_DEVICE_NOT_FOUND;
  if (open_handle_ != 0) return FT_DEVICE_NOT_OPENED;  // already open: the driver refuses a second open
  open_handle_ = ++next_handle_;
  handle = open_handle_;
  return FT_OK;
}

FT_STATUS SimulatedInterface::Close(FT_HANDLE handle) {
  if (!valid(handle)) return FT_INVALID_HANDLE;
  open_handle_ = 0;
  return FT_OK;
}

FT_STATUS SimulatedInterface::GetQueueStatus(FT_HANDLE handle, std::uint32_t& queued) {
  if (!valid(handle)) return FT_INVALID_HANDLE;
  queued = 0;  // received bytes go to the virtual serial port
  return FT_OK;
}

FT_STATUS SimulatedInterface::SetLatencyTimer(FT_HANDLE handle, std::uint8_t ms) {
  if (!valid(handle)) return FT_INVALID_HANDLE;
  return ms < 2 ? FT_INVALID_PARAMETER : FT_OK;
}

FT_STATUS SimulatedInterface::SetBitMode(FT_HANDLE handle, std::uint8_t mask, std::uint8_t mode) {
  if (!valid(handle)) return FT_INVALID_HANDLE;
  if (mode != kBitModeCbusBitbang && mode != 0x00) return FT_INVALID_PARAMETER;
  pump();  // the bytes due so far belong to the line connected until now
  if (mode == 0x00) {
    bitbang_ = false;
    outputs_ = pins_ = 0;
  } else {
    bitbang_ = true;
    outputs_ = static_cast<std::uint8_t>(mask >> 4);
    pins_ = static_cast<std::uint8_t>(mask & 0x0F & outputs_);
  }
  pump();
  return FT_OK;
}

FT_STATUS SimulatedInterface::GetBitMode(FT_HANDLE handle, std::uint8_t& pins) {
  if (!valid(handle)) return FT_INVALID_HANDLE;
  pins = pins_ & 0x0F;
  return FT_OK;
}

FT_STATUS SimulatedInterface::GetComPortNumber(FT_HANDLE handle, std::int32_t& com_number) {
  if (!valid(handle)) return FT_INVALID_HANDLE;
  if (sink_) {
    com_number = 1;
    return FT_OK;
  }
  if (!ensure_pty()) return FT_IO_ERROR;
  // The number of the pseudo-terminal, so that "COM n" and /dev/pts/n agree.
  const std::size_t slash = slave_path_.rfind('/');
  const auto n = parse_int(std::string_view(slave_path_).substr(slash == std::string::npos ? 0 : slash + 1));
  com_number = n ? *n : 1;
  return FT_OK;
}

FT_STATUS SimulatedInterface::ResetPort(FT_HANDLE handle) {
  if (!valid(handle)) return FT_INVALID_HANDLE;
  // A port reset leaves bit-bang mode and empties the buffers.
  bitbang_ = false;
  outputs_ = pins_ = 0;
  connect_line(0, clock_.now_utc_ms(), true);
  return FT_OK;
}

std::string SimulatedInterface::serial_device_name(std::int32_t) { return slave_path(); }

}  // namespace vireluz
