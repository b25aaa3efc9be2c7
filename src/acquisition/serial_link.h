#pragma once
// The serial port as the reading logic sees it (the component ComPort1). The
// program's adapter runs QSerialPort on the event loop; tests use a fake.
// Settings not listed here are fixed: 7 data bits, a parity bit, 1 stop bit,
// no flow control, DTR and RTS held inactive.
#include <functional>
#include <string>
#include <string_view>

namespace vireluz {

class SerialLink {
 public:
  virtual ~SerialLink() = default;
  virtual void set_port_name(const std::string& device) = 0;  // e.g. /dev/ttyUSB0
  virtual std::string port_name() const = 0;
  virtual void set_baud_rate(int baud) = 0;  // 1200 or 9600; applied at once when connected
  virtual int baud_rate() const = 0;
  // Opens the port; throws VireluzError with a French message when it cannot.
  virtual void connect() = 0;
  virtual void disconnect() = 0;
  virtual bool connected() const = 0;

  // Every block of received bytes, on the event thread.
  std::function<void(std::string_view)> on_data;
  // The device went away while connected (USB cable pulled): the port is
  // already closed when this is called.
  std::function<void(const std::string& reason)> on_lost;
};

}  // namespace vireluz
