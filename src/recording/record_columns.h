#pragma once
// Which index fields each tariff kind records, shared by the periodic record
// and the daily file.
#include <vector>

#include "common/text.h"
#include "meter/meter_slot.h"

namespace vireluz {

// The index values of the meter's tariff kind, in column order; none for a
// meter whose kind is none.
std::vector<Text> index_values(const MeterSlot& m);

// Joins the texts with ",", each written as a CSV field.
Text join_fields(const std::vector<Text>& values);

}  // namespace vireluz
