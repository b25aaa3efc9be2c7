#include "program/program_json.h"

#include "display/state_json.h"

namespace vireluz {

nlohmann::json program_state_json(Program& p) {
  nlohmann::json j =
      decoded_state_json(p.meters(), p.measures(), p.counters(), p.window(), p.graphs(), p.packets());
  const InterfaceController& ic = p.interface();
  j["ActiveMeter"] = p.counters().ActiveMeter;
  j["ReadingActive"] = ic.ReadingActive;
  j["InterfaceFound"] = ic.InterfaceFound;
  j["InterfaceDescription"] = cp1252_to_utf8(ic.InterfaceDescription);
  j["MeterSwitches"] = ic.MeterSwitches;
  j["Simulated"] = p.simulated();
  return j;
}

}  // namespace vireluz
