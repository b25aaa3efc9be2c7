#include "acquisition/d2xx_unit.h"

#include <algorithm>
#include <cstring>

namespace vireluz {

std::string_view D2XXUnit::status_text(FT_STATUS status) {
  static constexpr std::array<std::string_view, 18> kTexts = {
      "",
      " - Invalid handle...",
      " - Device not found...",
      " - Device not opened...",
      " - General IO error...",
      " - Insufficient resources...",
      " - Invalid parameter...",
      " - Invalid baud rate...",
      " Device not opened for erase...",
      " Device not opened for write...",
      " - Failed to write...",
      " - EEPROM read failed...",
      " - EEPROM write failed...",
      " - EEPROM erase failed...",
      " - EEPROM not present...",
      " - EEPROM not programmed...",
      " - Invalid arguments...",
      " - Other error ...",
  };
  return status < kTexts.size() ? kTexts[status] : std::string_view{};
}

void D2XXUnit::Report_FT_Error(std::string_view operation, FT_STATUS status) {
  if (status == FT_OK || !ShowFtdiErrors) return;
  Text text(operation);
  text += status_text(status);
  messages_.show_message(UserMessage{MessageIcon::Error, kAppTitle, text});
}

FT_STATUS D2XXUnit::GetFTDeviceCount() {
  std::uint32_t n = 0;
  const FT_STATUS st = d2xx_.ListDevicesCount(n);
  if (st == FT_OK) count_ = n;
  Report_FT_Error("GetFTDeviceCount", st);
  return st;
}

FT_STATUS D2XXUnit::GetFTDeviceDescription(std::uint32_t index) {
  char buffer[64] = {};
  const FT_STATUS st = d2xx_.ListDeviceDescription(index, buffer);
  if (st == FT_OK) description_.assign(buffer, strnlen(buffer, sizeof buffer));
  Report_FT_Error("GetFTDeviceDescription", st);
  return st;
}

FT_STATUS D2XXUnit::Open_USB_Device_By_Device_Description(const Text& description) {
  // The driver gets at most 49 characters, as the open buffer holds 50 bytes.
  char buffer[50] = {};
  std::memcpy(buffer, description.data(), std::min<std::size_t>(description.size(), 49));
  FT_HANDLE h = 0;
  const FT_STATUS st = d2xx_.OpenEx(buffer, h);
  if (st == FT_OK) handle_ = h;
  Report_FT_Error("Open_USB_Device_By_Device_Description", st);
  return st;
}

FT_STATUS D2XXUnit::FT_Close() {
  const FT_STATUS st = d2xx_.Close(handle_);
  Report_FT_Error("FT_Close", st);
  return st;
}

FT_STATUS D2XXUnit::FT_GetQueueStatus() {
  std::uint32_t queued = 0;
  const FT_STATUS st = d2xx_.GetQueueStatus(handle_, queued);
  Report_FT_Error("FT_GetQueueStatus", st);
  return st;
}

FT_STATUS D2XXUnit::FT_SetLatencyTimer(std::uint8_t ms) {
  const FT_STATUS st = d2xx_.SetLatencyTimer(handle_, ms);
  Report_FT_Error("FT_SetLatencyTimer ", st);
  return st;
}

FT_STATUS D2XXUnit::FT_GetBitMode(std::uint8_t& pins) {
  const FT_STATUS st = d2xx_.GetBitMode(handle_, pins);
  Report_FT_Error("FT_GetBitMode ", st);
  return st;
}

FT_STATUS D2XXUnit::FT_SetBitMode(std::uint8_t mask, std::uint8_t mode) {
  const FT_STATUS st = d2xx_.SetBitMode(handle_, mask, mode);
  Report_FT_Error("FT_SetBitMode ", st);
  return st;
}

void D2XXUnit::List_FT_Devices(DeviceList& list) {
  opened_ = false;
  if (GetFTDeviceCount() != FT_OK) return;
  std::size_t slot = 0;
  for (std::uint32_t i = 0; i < count_ && slot < list.size(); ++i) {
    if (GetFTDeviceDescription(i) == FT_OK) list[slot++] = description_;
  }
}

bool D2XXUnit::Find_And_Open_Device(const Text& description) {
  opened_ = false;
  if (GetFTDeviceCount() != FT_OK) return false;
  // Only a description read in this walk counts: one left from an earlier
  // listing must not open a device that is gone.
  bool found = false;
  for (std::uint32_t i = 0; i < count_ && !found; ++i) {
    if (GetFTDeviceDescription(i) == FT_OK && description_ == description) found = true;
  }
  if (!found) return false;
  if (Open_USB_Device_By_Device_Description(description) != FT_OK) return false;
  FT_GetQueueStatus();  // status only; the count is not used
  opened_ = true;
  return true;
}

bool D2XXUnit::Open_Interface(const Text& description) {
  if (!Find_And_Open_Device(description)) return false;
  return FT_SetLatencyTimer(16) == FT_OK;
}

bool D2XXUnit::Set_Interface_Pins(int direction, int level, const Text& description) {
  bool done = false;
  if (Open_Interface(description)) {
    const auto mask = static_cast<std::uint8_t>(((direction & 0x0F) << 4) | (level & 0x0F));
    done = FT_SetBitMode(mask, kBitModeCbusBitbang) == FT_OK;
  }
  Close_If_Open();
  return done;
}

bool D2XXUnit::Read_Interface_Pins(const Text& description, std::uint8_t& pins) {
  bool done = false;
  if (Open_Interface(description)) done = FT_GetBitMode(pins) == FT_OK;
  Close_If_Open();
  return done;
}

void D2XXUnit::Close_If_Open() {
  if (opened_) FT_Close();
  opened_ = false;
}

}  // namespace vireluz
