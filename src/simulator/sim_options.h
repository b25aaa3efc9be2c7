#pragma once
// The options language of the simulated interface (--sim-options): how the
// virtual meters behave. Items separated by blanks, ';' or new lines; '#'
// starts a comment that runs to the end of the line.
//   meter1=WORD,WORD,...   meter2=WORD,WORD,...   the words, in any order:
//     historique | standard           TIC mode (1200 / 9600 baud)
//     mono | tri                      single or three phase
//     hc | base | ejp | tempo | prod  tariff option (prod: solar production;
//                                     historic: BASE counting the production,
//                                     standard: PRODUCTEUR)
//     conso                           a consumption meter (the profile of a household)
//     solaire                         the power follows the sun
//     unplugged | plugged             the meter is not wired / is wired
//     subscribed:N                    ISOUSC in A (historic) or PREF in kVA (standard)
//     peak:N                          solar: power at noon in summer; consumption: evening peak, VA
//     address:XXXXXXXXXXXX            the address (ADCO / ADSC), 12 characters
//     corruption:P  seed:N            as below, for that meter only
//     swap:P                          probability, for every frame, that two different digits
//                                     of one index or current value swap places (the
//                                     checksum still holds)
//     replaced:S                      the indexes start again from a low value S seconds
//                                     after the meter's first frame (a meter replaced)
//   corruption=P    probability, for every byte, of one flipped data bit (both meters)
//   seed=N          seed of meter 1; meter 2 gets N + 1
// Example: "meter1=standard,tri,tempo meter2=unplugged corruption=0.001 seed=42".
#include <array>
#include <string_view>

#include "simulator/virtual_meter.h"

namespace vireluz {

// The properties of a meter that options set; the others follow the settings.
enum SimProperty : unsigned {
  kSimMode = 1,
  kSimPhases = 2,
  kSimUnplugged = 4,
  kSimOption = 8,
  kSimSubscribed = 16,
  kSimPeak = 32,
  kSimAddress = 64,
  kSimCorruption = 128,
  kSimSeed = 256,
  kSimSwap = 512,
  kSimReplaced = 1024,
  kSimAll = 2047
};

// One meter: the configuration in force, and which properties options set.
struct SimMeterOptions {
  VirtualMeterConfig config;
  unsigned set = 0;  // SimProperty bits
};

// Applies the options to the two meters, item after item. Throws
// VireluzError with a French message naming the faulty item; the items
// before it are applied.
void apply_sim_options(std::string_view options, std::array<SimMeterOptions, 2>& meters);

}  // namespace vireluz
