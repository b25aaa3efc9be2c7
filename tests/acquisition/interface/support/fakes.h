#pragma once
// Scripted stand-ins for the FTDI driver and the serial port.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "acquisition/d2xx.h"
#include "acquisition/serial_link.h"
#include "common/error.h"

namespace vireluz::testing {

class FakeD2xx : public D2xx {
 public:
  struct Device {
    std::string description;
    bool readable = true;
    std::int32_t com = 4;
    bool com_fails = false;
  };
  std::vector<Device> devices;
  FT_STATUS count_status = FT_OK;
  FT_STATUS open_status = FT_OK;
  FT_STATUS latency_status = FT_OK;
  FT_STATUS setbit_status = FT_OK;
  std::uint8_t pins = 0;            // what GetBitMode reads
  std::vector<std::uint8_t> masks;  // every SetBitMode mask
  std::vector<std::string> calls;   // call log
  int open_handles = 0;
  int resets = 0;
  bool is_simulated = false;
  bool simulated() const override { return is_simulated; }

  FT_STATUS ListDevicesCount(std::uint32_t& count) override {
    calls.push_back("count");
    if (count_status != FT_OK) return count_status;
    count = static_cast<std::uint32_t>(devices.size());
    return FT_OK;
  }
  FT_STATUS ListDeviceDescription(std::uint32_t index, char (&buffer)[64]) override {
    if (index >= devices.size() || !devices[index].readable) return FT_DEVICE_NOT_FOUND;
    std::strncpy(buffer, devices[index].description.c_str(), 63);
    return FT_OK;
  }
  FT_STATUS OpenEx(const char* description, FT_HANDLE& handle) override {
    calls.push_back(std::string("open:") + description);
    if (open_status != FT_OK) return open_status;
    for (std::size_t i = 0; i < devices.size(); ++i) {
      if (devices[i].description == description) {
        handle = i + 1;
        ++open_handles;
        return FT_OK;
      }
    }
    return FT_DEVICE_NOT_FOUND;
  }
  FT_STATUS Close(FT_HANDLE handle) override {
    calls.push_back("close");
    if (handle == 0) return FT_INVALID_HANDLE;
    --open_handles;
    return FT_OK;
  }
  FT_STATUS GetQueueStatus(FT_HANDLE, std::uint32_t& q) override {
    q = 0;
    return FT_OK;
  }
  FT_STATUS SetLatencyTimer(FT_HANDLE, std::uint8_t ms) override {
    calls.push_back("latency:" + std::to_string(ms));
    return latency_status;
  }
  FT_STATUS SetBitMode(FT_HANDLE, std::uint8_t mask, std::uint8_t mode) override {
    calls.push_back("bitmode:" + std::to_string(mask) + "/" + std::to_string(mode));
    if (setbit_status != FT_OK) return setbit_status;
    masks.push_back(mask);
    pins = mask & 0x0F;
    return FT_OK;
  }
  FT_STATUS GetBitMode(FT_HANDLE, std::uint8_t& p) override {
    p = pins;
    return FT_OK;
  }
  FT_STATUS GetComPortNumber(FT_HANDLE handle, std::int32_t& com) override {
    const Device& d = devices.at(handle - 1);
    if (d.com_fails) return FT_IO_ERROR;
    com = d.com;
    return FT_OK;
  }
  FT_STATUS ResetPort(FT_HANDLE) override {
    ++resets;
    return FT_OK;
  }
  std::string serial_device_name(std::int32_t com) override { return "/dev/ttyUSB" + std::to_string(com); }
};

class FakeSerial : public SerialLink {
 public:
  void set_port_name(const std::string& d) override { name_ = d; }
  std::string port_name() const override { return name_; }
  void set_baud_rate(int b) override {
    baud_ = b;
    bauds.push_back(b);
  }
  int baud_rate() const override { return baud_; }
  void connect() override {
    if (fail_connect) throw VireluzError("Impossible d'ouvrir le port " + name_);
    connected_ = true;
    ++connects;
  }
  void disconnect() override { connected_ = false; }
  bool connected() const override { return connected_; }

  // Test side: bytes arriving from the line, the device going away.
  void receive(std::string_view bytes) {
    if (connected_ && on_data) on_data(bytes);
  }
  void lose() {
    connected_ = false;
    if (on_lost) on_lost("gone");
  }

  bool fail_connect = false;
  int connects = 0;
  std::vector<int> bauds;

 private:
  std::string name_ = "COM1";
  int baud_ = 1200;
  bool connected_ = false;
};

}  // namespace vireluz::testing
