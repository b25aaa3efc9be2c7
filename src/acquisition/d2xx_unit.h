#pragma once
// The thin wrapper over the D2XX calls (unit D2XXUnit): one device at a time,
// opened by its description and closed again after each operation. Every call
// reports a failure through Report_FT_Error, which shows a dialog only while
// ShowFtdiErrors is true.
#include <array>
#include <cstdint>
#include <string_view>

#include "acquisition/d2xx.h"
#include "common/text.h"
#include "common/user_messages.h"

namespace vireluz {

// Descriptions of the attached FTDI devices, in driver order, without gaps:
// slot n (1..20) is element n - 1.
using DeviceList = std::array<Text, 20>;

class D2XXUnit {
 public:
  D2XXUnit(D2xx& d2xx, UserMessages& messages) : d2xx_(d2xx), messages_(messages) {}

  bool ShowFtdiErrors = true;

  // Single D2XX calls; each returns the D2XX status (FT_OK on success).
  FT_STATUS GetFTDeviceCount();                           // stores device_count()
  FT_STATUS GetFTDeviceDescription(std::uint32_t index);  // stores description()
  FT_STATUS Open_USB_Device_By_Device_Description(const Text& description);
  FT_STATUS FT_Close();
  FT_STATUS FT_GetQueueStatus();
  FT_STATUS FT_SetLatencyTimer(std::uint8_t ms);
  FT_STATUS FT_GetBitMode(std::uint8_t& pins);
  FT_STATUS FT_SetBitMode(std::uint8_t mask, std::uint8_t mode);

  // Fills the list with the readable descriptions (at most 20).
  void List_FT_Devices(DeviceList& list);
  // Opens the first device with this description; true when it is open.
  bool Find_And_Open_Device(const Text& description);
  // Find_And_Open_Device, then a 16 ms latency timer; true when both succeed.
  bool Open_Interface(const Text& description);
  // Drives the CBUS pins: mask (direction << 4) | level in CBUS bit-bang mode.
  // The device is closed again before returning.
  bool Set_Interface_Pins(int direction, int level, const Text& description);
  // Reads the instantaneous CBUS levels (bit 0 = CBUS0, bit 1 = CBUS1).
  bool Read_Interface_Pins(const Text& description, std::uint8_t& pins);
  void Close_If_Open();

  // Shows "<operation><status text>" when status is not FT_OK and dialogs are on.
  void Report_FT_Error(std::string_view operation, FT_STATUS status);
  // The text appended to the operation name for a status ("" above 17).
  static std::string_view status_text(FT_STATUS status);

  std::uint32_t device_count() const { return count_; }
  const Text& description() const { return description_; }
  bool opened() const { return opened_; }
  FT_HANDLE handle() const { return handle_; }
  D2xx& d2xx() { return d2xx_; }

 private:
  D2xx& d2xx_;
  UserMessages& messages_;
  FT_HANDLE handle_ = 0;
  bool opened_ = false;
  std::uint32_t count_ = 0;
  Text description_;
};

}  // namespace vireluz
