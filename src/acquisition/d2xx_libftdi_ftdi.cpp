#include <ftdi.h>
#include <libusb.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "acquisition/d2xx_libftdi.h"

namespace vireluz {

namespace {

namespace fs = std::filesystem;

int read_int_file(const fs::path& p) {
  std::ifstream in(p);
  int v = -1;
  if (!(in >> v)) return -1;
  return v;
}

// The n of /dev/ttyUSBn bound to the USB device at bus/address, from sysfs:
// /sys/bus/usb-serial/devices/ttyUSBn -> .../<usb device>/<interface>/ttyUSBn.
// -1 when the kernel driver does not hold it.
int tty_number_of(int bus, int address) {
  std::error_code ec;
  const fs::path root = "/sys/bus/usb-serial/devices";
  for (const auto& entry : fs::directory_iterator(root, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("ttyUSB", 0) != 0) continue;
    const fs::path real = fs::canonical(entry.path(), ec);
    if (ec) continue;
    const fs::path device = real.parent_path().parent_path();
    if (read_int_file(device / "busnum") == bus && read_int_file(device / "devnum") == address) {
      try {
        return std::stoi(name.substr(6));
      } catch (...) {
        return -1;
      }
    }
  }
  return -1;
}

struct Found {
  std::string description;
  bool readable = false;
  int bus = 0, address = 0;
};

class LibFtdiD2xx : public D2xx {
 public:
  LibFtdiD2xx() : list_ctx_(ftdi_new()) {}
  ~LibFtdiD2xx() override {
    for (auto& [h, open] : open_) close_ctx(open.ctx);
    if (list_ctx_) ftdi_free(list_ctx_);
  }

  FT_STATUS ListDevicesCount(std::uint32_t& count) override {
    if (!list_ctx_) return FT_INSUFFICIENT_RESOURCES;
    found_.clear();
    ftdi_device_list* list = nullptr;
    // Vendor and product 0: the chips with FTDI's default identifiers.
    const int n = ftdi_usb_find_all(list_ctx_, &list, 0, 0);
    if (n < 0) return FT_IO_ERROR;
    for (ftdi_device_list* d = list; d; d = d->next) {
      Found f;
      char desc[128] = {};
      f.readable = ftdi_usb_get_strings(list_ctx_, d->dev, nullptr, 0, desc, sizeof desc, nullptr, 0) == 0;
      f.description = desc;
      f.bus = libusb_get_bus_number(d->dev);
      f.address = libusb_get_device_address(d->dev);
      found_.push_back(f);
    }
    ftdi_list_free(&list);
    count = static_cast<std::uint32_t>(found_.size());
    return FT_OK;
  }

  FT_STATUS ListDeviceDescription(std::uint32_t index, char (&buffer)[64]) override {
    if (index >= found_.size()) return FT_DEVICE_NOT_FOUND;
    if (!found_[index].readable) return FT_DEVICE_NOT_OPENED;
    std::memset(buffer, 0, sizeof buffer);
    std::strncpy(buffer, found_[index].description.c_str(), sizeof buffer - 1);
    return FT_OK;
  }

  FT_STATUS OpenEx(const char* description, FT_HANDLE& handle) override {
    ftdi_context* ctx = ftdi_new();
    if (!ctx) return FT_INSUFFICIENT_RESOURCES;
    // Give ftdi_sio the device back when it is closed, so that /dev/ttyUSBn
    // comes back for the serial port.
    ctx->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
    ftdi_device_list* list = nullptr;
    if (ftdi_usb_find_all(ctx, &list, 0, 0) < 0) {
      ftdi_free(ctx);
      return FT_IO_ERROR;
    }
    FT_STATUS st = FT_DEVICE_NOT_FOUND;
    Open open{ctx, -1};
    for (ftdi_device_list* d = list; d; d = d->next) {
      char desc[128] = {};
      if (ftdi_usb_get_strings(ctx, d->dev, nullptr, 0, desc, sizeof desc, nullptr, 0) != 0) continue;
      if (std::strcmp(desc, description) != 0) continue;
      // The tty number must be read before the open detaches the driver.
      open.tty = tty_number_of(libusb_get_bus_number(d->dev), libusb_get_device_address(d->dev));
      st = ftdi_usb_open_dev(ctx, d->dev) == 0 ? FT_OK : FT_DEVICE_NOT_OPENED;
      break;
    }
    ftdi_list_free(&list);
    if (st != FT_OK) {
      ftdi_free(ctx);
      return st;
    }
    handle = next_handle_++;
    open_[handle] = open;
    return FT_OK;
  }

  FT_STATUS Close(FT_HANDLE handle) override {
    const auto it = open_.find(handle);
    if (it == open_.end()) return FT_INVALID_HANDLE;
    close_ctx(it->second.ctx);
    open_.erase(it);
    return FT_OK;
  }

  FT_STATUS GetQueueStatus(FT_HANDLE handle, std::uint32_t& queued) override {
    queued = 0;  // libftdi has no such query; the program only looks at the status
    return ctx_of(handle) ? FT_OK : FT_INVALID_HANDLE;
  }

  FT_STATUS SetLatencyTimer(FT_HANDLE handle, std::uint8_t ms) override {
    ftdi_context* ctx = ctx_of(handle);
    if (!ctx) return FT_INVALID_HANDLE;
    return ftdi_set_latency_timer(ctx, ms) == 0 ? FT_OK : FT_IO_ERROR;
  }

  FT_STATUS SetBitMode(FT_HANDLE handle, std::uint8_t mask, std::uint8_t mode) override {
    ftdi_context* ctx = ctx_of(handle);
    if (!ctx) return FT_INVALID_HANDLE;
    return ftdi_set_bitmode(ctx, mask, mode) == 0 ? FT_OK : FT_IO_ERROR;
  }

  FT_STATUS GetBitMode(FT_HANDLE handle, std::uint8_t& pins) override {
    ftdi_context* ctx = ctx_of(handle);
    if (!ctx) return FT_INVALID_HANDLE;
    unsigned char p = 0;
    if (ftdi_read_pins(ctx, &p) != 0) return FT_IO_ERROR;
    pins = p;
    return FT_OK;
  }

  FT_STATUS GetComPortNumber(FT_HANDLE handle, std::int32_t& com_number) override {
    const auto it = open_.find(handle);
    if (it == open_.end()) return FT_INVALID_HANDLE;
    if (it->second.tty < 0) return FT_OTHER_ERROR;  // no ttyUSB bound to it
    com_number = it->second.tty;
    return FT_OK;
  }

  FT_STATUS ResetPort(FT_HANDLE handle) override {
    ftdi_context* ctx = ctx_of(handle);
    if (!ctx) return FT_INVALID_HANDLE;
    return ftdi_usb_reset(ctx) == 0 ? FT_OK : FT_IO_ERROR;
  }

  std::string serial_device_name(std::int32_t com_number) override {
    return "/dev/ttyUSB" + std::to_string(com_number);
  }

 private:
  struct Open {
    ftdi_context* ctx;
    int tty;
  };
  static void close_ctx(ftdi_context* ctx) {
    ftdi_usb_close(ctx);  // releases the interface: libusb re-attaches ftdi_sio
    ftdi_free(ctx);
  }
  ftdi_context* ctx_of(FT_HANDLE h) {
    const auto it = open_.find(h);
    return it == open_.end() ? nullptr : it->second.ctx;
  }

  ftdi_context* list_ctx_;
  std::vector<Found> found_;
  std::map<FT_HANDLE, Open> open_;
  FT_HANDLE next_handle_ = 1;
};

}  // namespace

std::unique_ptr<D2xx> make_libftdi_d2xx() { return std::make_unique<LibFtdiD2xx>(); }

}  // namespace vireluz
