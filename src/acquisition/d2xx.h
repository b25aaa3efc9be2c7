#pragma once
// The FTDI D2XX calls the program makes, behind one interface: the libftdi1
// backend drives a real chip on Linux, the simulated interface a virtual one,
// tests a scripted fake. Status codes are the D2XX ones.
#include <cstdint>
#include <string>

namespace vireluz {

using FT_STATUS = std::uint32_t;
using FT_HANDLE = std::uintptr_t;  // 0: no device

enum : FT_STATUS {
  FT_OK = 0,
  FT_INVALID_HANDLE = 1,
  FT_DEVICE_NOT_FOUND = 2,
  FT_DEVICE_NOT_OPENED = 3,
  FT_IO_ERROR = 4,
  FT_INSUFFICIENT_RESOURCES = 5,
  FT_INVALID_PARAMETER = 6,
  FT_INVALID_BAUD_RATE = 7,
  FT_DEVICE_NOT_OPENED_FOR_ERASE = 8,
  FT_DEVICE_NOT_OPENED_FOR_WRITE = 9,
  FT_FAILED_TO_WRITE_DEVICE = 10,
  FT_EEPROM_READ_FAILED = 11,
  FT_EEPROM_WRITE_FAILED = 12,
  FT_EEPROM_ERASE_FAILED = 13,
  FT_EEPROM_NOT_PRESENT = 14,
  FT_EEPROM_NOT_PROGRAMMED = 15,
  FT_INVALID_ARGS = 16,
  FT_OTHER_ERROR = 17,
};

inline constexpr std::uint8_t kBitModeCbusBitbang = 0x20;

class D2xx {
 public:
  virtual ~D2xx() = default;
  // FT_ListDevices(&count, NULL, FT_LIST_NUMBER_ONLY)
  virtual FT_STATUS ListDevicesCount(std::uint32_t& count) = 0;
  // FT_ListDevices(index, buffer, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION):
  // a zero-terminated description in the 64-byte buffer.
  virtual FT_STATUS ListDeviceDescription(std::uint32_t index, char (&buffer)[64]) = 0;
  // FT_OpenEx(description, FT_OPEN_BY_DESCRIPTION, &handle)
  virtual FT_STATUS OpenEx(const char* description, FT_HANDLE& handle) = 0;
  virtual FT_STATUS Close(FT_HANDLE handle) = 0;
  virtual FT_STATUS GetQueueStatus(FT_HANDLE handle, std::uint32_t& queued) = 0;
  virtual FT_STATUS SetLatencyTimer(FT_HANDLE handle, std::uint8_t ms) = 0;
  virtual FT_STATUS SetBitMode(FT_HANDLE handle, std::uint8_t mask, std::uint8_t mode) = 0;
  virtual FT_STATUS GetBitMode(FT_HANDLE handle, std::uint8_t& pins) = 0;
  virtual FT_STATUS GetComPortNumber(FT_HANDLE handle, std::int32_t& com_number) = 0;
  virtual FT_STATUS ResetPort(FT_HANDLE handle) = 0;

  // The device file of the serial port with that number: /dev/ttyUSB<n> for a
  // real chip, the pseudo-terminal of the simulated interface.
  virtual std::string serial_device_name(std::int32_t com_number) = 0;
  // True for the simulated interface: whatever shows its values says so.
  virtual bool simulated() const { return false; }
};

}  // namespace vireluz
