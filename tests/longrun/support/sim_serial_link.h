#pragma once
// A serial port for simulated time: it carries the bytes that the simulated
// interface paces out (sink mode) to the program, as a real line would. Bytes
// arrive only while the port is open; the port's speed is handed to the
// simulator, which turns the stream into junk when it differs from the
// selected meter's.
#include <cstdint>
#include <string>
#include <string_view>

#include "acquisition/serial_link.h"
#include "simulator/simulated_interface.h"

namespace vireluz::testing {

class SimSerialLink : public SerialLink {
 public:
  // Takes over the simulator's sink; `sim` must outlive this object or be
  // detached first.
  void attach(SimulatedInterface& sim);
  void detach();
  ~SimSerialLink() override { detach(); }

  void set_port_name(const std::string& device) override { port_ = device; }
  std::string port_name() const override { return port_; }
  void set_baud_rate(int baud) override;
  int baud_rate() const override { return baud_; }
  void connect() override;
  void disconnect() override { open_ = false; }
  bool connected() const override { return open_; }

  std::uint64_t bytes_delivered() const { return delivered_; }
  std::uint64_t bytes_lost() const { return lost_; }  // paced out while the port was closed
  int connects() const { return connects_; }

 private:
  void receive(std::string_view bytes);

  SimulatedInterface* sim_ = nullptr;
  std::string port_;
  int baud_ = 1200;
  bool open_ = false;
  std::uint64_t delivered_ = 0, lost_ = 0;
  int connects_ = 0;
};

}  // namespace vireluz::testing
