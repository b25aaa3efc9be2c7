#pragma once
// A simulated two-meter interface: a virtual FTDI device behind the D2xx
// calls, two virtual meters, and a pseudo-terminal that stands for the
// device's serial port. The program runs on it exactly as on the hardware:
// it lists and opens the device by description, drives the CBUS pins in
// bit-bang mode (0x71 meter 1, 0x72 meter 2, 0x70 none) and reads the
// selected meter's frames from the serial port, at the meter's baud rate.
//
// Streaming: a timer (Timer_simulateur, 50 ms) writes the bytes that fall due
// at the line's pace, 10 bits a byte (7E1): 120 bytes/s at 1200 baud, 960
// bytes/s at 9600, frames back to back with a short gap. A meter keeps
// sending whether or not it is selected, so a switch connects its line in the
// middle of a frame, as the hardware does. When the serial port is set to
// another speed than the meter's, the bytes arrive as junk. Bytes the program
// does not read in time are dropped once the pseudo-terminal's buffer is
// full. Without a pseudo-terminal, a sink function receives the same bytes
// (simulated-time tests).
//
// Options (apply_options): the language of sim_options.h.
// What an option does not set keeps following the settings (TIC mode,
// single or three phase, one or two meters).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "acquisition/d2xx.h"
#include "common/clock.h"
#include "common/timer.h"
#include "simulator/sim_options.h"
#include "simulator/virtual_meter.h"

namespace vireluz {

struct Settings;

// The three descriptions the program knows.
inline constexpr const char* kSimUsbTwoMeters = "Interface USB -> Compteur";
inline constexpr const char* kSimXbeeTwoMeters = "Interface XBEE -> Compteur";
inline constexpr const char* kSimUsbOneMeter = "Interface USB 1 TIC";

class SimulatedInterface : public D2xx {
 public:
  // description: one of the three known ones (throws std::invalid_argument
  // otherwise). The settings, timer factory and clock must outlive this object;
  // the meters follow the settings as they change (see default_meter_config).
  SimulatedInterface(std::string description, const Settings& settings, TimerFactory& timers, Clock& clock);
  ~SimulatedInterface() override;
  SimulatedInterface(const SimulatedInterface&) = delete;
  SimulatedInterface& operator=(const SimulatedInterface&) = delete;

  // Sets every property of a meter (1 or 2); it no longer follows the settings.
  void configure_meter(int meter, const VirtualMeterConfig& config);
  // The configuration in force for a meter.
  VirtualMeterConfig meter_config(int meter) const;
  const VirtualMeter& meter(int meter) const;
  // Applies options (sim_options.h). Throws VireluzError with a French message
  // naming the faulty item; items before it are applied.
  void apply_options(std::string_view options);
  // The same from a file; throws VireluzError when it cannot be read.
  void apply_options_file(const std::string& path);

  // Sink mode: the paced bytes go to `sink` instead of the pseudo-terminal
  // (an empty function goes back to the pseudo-terminal).
  void set_sink(std::function<void(std::string_view)> sink);
  // The speed the reader is set to, in sink mode (0: always the meter's).
  void set_sink_baud(int baud) { sink_baud_ = baud; }
  // Writes the bytes due now; the timer calls it every 50 ms.
  void pump();

  // 0 none, 1 or 2: the meter whose line the pins connect.
  int selected_meter() const;
  std::uint8_t pin_levels() const { return pins_; }
  // The pseudo-terminal's device file (created at the first need); empty when
  // no pseudo-terminal could be created.
  std::string slave_path();
  std::uint64_t bytes_sent() const { return bytes_sent_; }
  std::uint64_t bytes_dropped() const { return bytes_dropped_; }
  const std::string& description() const { return description_; }

  // D2xx
  FT_STATUS ListDevicesCount(std::uint32_t& count) override;
  FT_STATUS ListDeviceDescription(std::uint32_t index, char (&buffer)[64]) override;
  FT_STATUS OpenEx(const char* description, FT_HANDLE& handle) override;
  FT_STATUS Close(FT_HANDLE handle) override;
  FT_STATUS GetQueueStatus(FT_HANDLE handle, std::uint32_t& queued) override;
  FT_STATUS SetLatencyTimer(FT_HANDLE handle, std::uint8_t ms) override;
  FT_STATUS SetBitMode(FT_HANDLE handle, std::uint8_t mask, std::uint8_t mode) override;
  FT_STATUS GetBitMode(FT_HANDLE handle, std::uint8_t& pins) override;
  FT_STATUS GetComPortNumber(FT_HANDLE handle, std::int32_t& com_number) override;
  FT_STATUS ResetPort(FT_HANDLE handle) override;
  std::string serial_device_name(std::int32_t com_number) override;
  bool simulated() const override { return true; }

 private:
  struct SimMeter {
    VirtualMeterConfig explicit_config;
    unsigned set = 0;  // SimProperty bits set by configure_meter or apply_options
    std::unique_ptr<VirtualMeter> meter;
  };
  // The transmission in progress on the connected line.
  struct Line {
    int meter = 0;  // 0: nothing connected
    int baud = 0;
    std::int64_t t0_ms = 0;  // UTC time of slot 0
    std::int64_t byte_slots = 0;  // byte slots elapsed since t0
    std::string frame;
    std::size_t pos = 0;
    int gap = 0;  // idle byte slots left after the frame
  };

  bool valid(FT_HANDLE h) const { return h != 0 && h == open_handle_; }
  VirtualMeterConfig effective_config(int meter) const;
  void refresh_meters();
  void connect_line(int meter, std::int64_t now_ms, bool flush);
  int reader_baud();
  bool ensure_pty();
  void deliver(const std::string& bytes);
  char junk();

  std::string description_;
  const Settings& settings_;
  Clock& clock_;
  std::unique_ptr<Timer> timer_;
  SimMeter meters_[2];
  FT_HANDLE open_handle_ = 0;
  FT_HANDLE next_handle_ = 0x5100;
  bool bitbang_ = false;
  std::uint8_t pins_ = 0;     // CBUS levels, bit 0 = CBUS0
  std::uint8_t outputs_ = 0;  // CBUS directions, 1 = output
  Line line_;
  std::uint64_t junk_state_ = 0x6A09E667F3BCC909ull;
  std::uint64_t bytes_sent_ = 0, bytes_dropped_ = 0;
  std::function<void(std::string_view)> sink_;
  int sink_baud_ = 0;
  int master_fd_ = -1, slave_fd_ = -1;
  bool pty_failed_ = false;
  std::string slave_path_;
  std::string device_path_;
};

}  // namespace vireluz
