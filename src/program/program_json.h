#pragma once
// The state of a run as one JSON document, texts in UTF-8: the decoded state
// (meters, measure table, main-window components, graphs) and the interface
// (found, its description, the meter switches, the reading, simulated or
// not). The --dump file of a run holds it.
#include <nlohmann/json.hpp>

#include "program/program.h"

namespace vireluz {

nlohmann::json program_state_json(Program& program);

}  // namespace vireluz
