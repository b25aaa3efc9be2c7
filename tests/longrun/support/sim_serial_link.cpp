#include "support/sim_serial_link.h"

#include "common/error.h"

namespace vireluz::testing {

void SimSerialLink::attach(SimulatedInterface& sim) {
  detach();
  sim_ = &sim;
  sim.set_sink([this](std::string_view bytes) { receive(bytes); });
  sim.set_sink_baud(baud_);
}

void SimSerialLink::detach() {
  if (!sim_) return;
  sim_->set_sink(nullptr);
  sim_ = nullptr;
}

void SimSerialLink::set_baud_rate(int baud) {
  // Bytes already on their way were sent at the old speed.
  if (sim_ && open_) sim_->pump();
  baud_ = baud;
  if (sim_) sim_->set_sink_baud(baud);
}

void SimSerialLink::connect() {
  if (port_.empty()) throw VireluzError("Impossible d'ouvrir le port (aucun port choisi)");
  // What the line carried before the port opened is not read.
  if (sim_) sim_->pump();
  open_ = true;
  ++connects_;
}

void SimSerialLink::receive(std::string_view bytes) {
  if (!open_) {
    lost_ += bytes.size();
    return;
  }
  delivered_ += bytes.size();
  if (on_data) on_data(bytes);
}

}  // namespace vireluz::testing
