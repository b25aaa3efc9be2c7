#pragma once
// The serial port ComPort1 over QSerialPort on the Qt event loop: 7 data bits,
// a parity bit with parity checking off, 1 stop bit, no flow control, DTR and
// RTS inactive, a 2048-byte read buffer.
#include <memory>
#include <string>

#include "acquisition/serial_link.h"

class QSerialPort;

namespace vireluz {

class ComPort1 : public SerialLink {
 public:
  static constexpr int kReadBufferSize = 2048;

  ComPort1();
  ~ComPort1() override;

  void set_port_name(const std::string& device) override { name_ = device; }
  std::string port_name() const override { return name_; }
  void set_baud_rate(int baud) override;
  int baud_rate() const override { return baud_; }
  void connect() override;
  void disconnect() override;
  bool connected() const override;

 private:
  void on_ready_read();
  void on_error(int error);
  void lose(const std::string& reason);
  void apply_line_settings();

  std::unique_ptr<QSerialPort> port_;
  std::string name_ = "COM1";
  int baud_ = 1200;
  bool lost_pending_ = false;
  std::string block_;
};

}  // namespace vireluz
