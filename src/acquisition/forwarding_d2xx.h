#pragma once
// Forwards the D2XX calls to a backend chosen after the program core exists
// (the simulated interface runs on the core's settings and timers).
#include "acquisition/d2xx.h"

namespace vireluz {

class ForwardingD2xx : public D2xx {
 public:
  D2xx* target = nullptr;

  FT_STATUS ListDevicesCount(std::uint32_t& c) override { return target->ListDevicesCount(c); }
  FT_STATUS ListDeviceDescription(std::uint32_t i, char (&b)[64]) override {
    return target->ListDeviceDescription(i, b);
  }
  FT_STATUS OpenEx(const char* d, FT_HANDLE& h) override { return target->OpenEx(d, h); }
  FT_STATUS Close(FT_HANDLE h) override { return target->Close(h); }
  FT_STATUS GetQueueStatus(FT_HANDLE h, std::uint32_t& q) override { return target->GetQueueStatus(h, q); }
  FT_STATUS SetLatencyTimer(FT_HANDLE h, std::uint8_t ms) override { return target->SetLatencyTimer(h, ms); }
  FT_STATUS SetBitMode(FT_HANDLE h, std::uint8_t m, std::uint8_t mode) override {
    return target->SetBitMode(h, m, mode);
  }
  FT_STATUS GetBitMode(FT_HANDLE h, std::uint8_t& p) override { return target->GetBitMode(h, p); }
  FT_STATUS GetComPortNumber(FT_HANDLE h, std::int32_t& n) override { return target->GetComPortNumber(h, n); }
  FT_STATUS ResetPort(FT_HANDLE h) override { return target->ResetPort(h); }
  std::string serial_device_name(std::int32_t n) override { return target->serial_device_name(n); }
  bool simulated() const override { return target && target->simulated(); }
};

}  // namespace vireluz
