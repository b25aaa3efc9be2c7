#pragma once
// The decoded values of the meters, shared by every subsystem. Written only by
// the decoder; each field keeps its last valid value until a new valid group
// replaces it. Texts are the bytes received (Windows-1252).
#include <array>
#include <cstdint>

#include "common/text.h"

namespace vireluz {

enum class FrameKind : int { NONE = 0, HISTORIC = 1, STANDARD = 2, JAUNE = 3, CONTRAT = 4 };

// Tariff option of a meter; chooses captions and record columns.
enum class TariffKind : int { NONE = -1, HC = 0, BASE = 1, EJP = 2, TEMPO = 3, PROD = 4, JAUNE = 20 };

enum class PhaseMode : int { MONO = 0, TRI = 1, PAPP_ONLY = 2 };

// Current tariff period (from PTEC), as stored in the MeasureTable.
enum class PeriodCode : int {
  HC = 0, HP = 1, HN = 2, PM = 3, HCJB = 4, HPJB = 5, HCJW = 6, HPJW = 7, HCJR = 8, HPJR = 9, TH = 10
};

// Tomorrow's Tempo colour (from DEMAIN).
enum class ColourCode : int { Bleu = 0, Blanc = 1, Rouge = 2, None = 3 };

// Quantities of the MeasureTable; entry = kind * 2 + (meter - 1).
enum class MeasureKind : int { IINST = 0, IINST1 = 1, IINST2 = 2, IINST3 = 3, PAPP = 4, PTEC = 5, DEMAIN = 6, PEJP = 7 };

// The status word of a standard meter (STGE), as last received.
struct MeterStatus {
  bool known = false;             // a valid STGE has been received
  bool dry_contact_open = false;  // bit 0: the dry contact is open
  int cut_off = 0;                // bits 1-3: the cut-off device, 0 closed, 1 to 6 open (the reason)
  bool over_voltage = false;      // bit 6: over-voltage on a phase
  bool over_power = false;        // bit 7: the reference power is exceeded
  bool injecting = false;         // bit 9: the active energy flows to the network
};

struct MeterSlot {
  Text ADCO;
  Text ISOUSC;
  Text OPTARIF;
  TariffKind tariff_kind = TariffKind::HC;  // 0 before any option is decoded
  bool identified = false;
  std::int32_t frame_count = 0;
  PhaseMode phase_mode = PhaseMode::MONO;
  std::int32_t VTIC = 0;
  Text PTEC;
  Text PAPP;
  Text IINST, IINST1, IINST2, IINST3;
  Text URMS1;
  Text EAIT;
  Text HCHP, HCHC, BASE, EJPHN, EJPHPM;
  Text BBRHCJB, BBRHPJB, BBRHCJW, BBRHPJW, BBRHCJR, BBRHPJR;
  Text DEMAIN;
  std::array<Text, 4> ENERG;
  std::int32_t graph_max = 15;

  // Standard meters: the other phases, the producer's power, the totals and
  // the status (texts as received, empty until a valid group came).
  Text URMS2, URMS3;               // voltages of phases 2 and 3, V
  Text SINSTS1, SINSTS2, SINSTS3;  // apparent power drawn per phase, VA
  Text SMAXSN1, SMAXSN2, SMAXSN3;  // today's highest apparent power drawn per phase, VA
  Text SINSTI;                     // apparent power injected, VA
  Text EAST;                       // total energy drawn, Wh
  std::array<Text, 4> EASD;        // distributor indexes EASD01 to EASD04, Wh
  Text STGE;                       // status word, hexadecimal
  Text today_colour;               // today's Tempo colour: "Bleu", "Blanc", "Rouge", empty if none
  MeterStatus status;              // decoded from STGE
  std::int32_t RELAIS = -1;        // bit n: relay n + 1 closed; -1 before any valid RELAIS group

  // Active power derived from the accepted indexes (W, averaged over a minute
  // or more); -1 while unknown. Historic and standard meters.
  std::int32_t drawn_w = -1;     // from the consumption indexes (EAST, or the option's indexes)
  std::int32_t injected_w = -1;  // from EAIT

  // Groups whose checksum held but whose value was implausible (an index
  // going back or rising faster than the meter can count, a current, power or
  // voltage out of physical bounds); they were ignored like a bad checksum.
  std::int64_t rejected_values = 0;
};

struct MeasureTable {
  std::array<std::int32_t, 20> v{};

  static constexpr int index(MeasureKind k, int meter) { return static_cast<int>(k) * 2 + (meter - 1); }
  std::int32_t& at(MeasureKind k, int meter) { return v[static_cast<std::size_t>(index(k, meter))]; }
  std::int32_t at(MeasureKind k, int meter) const { return v[static_cast<std::size_t>(index(k, meter))]; }
};

// Which meter the interface selects, and the packet counters that drive the
// skipping of the first packet(s) after a switch. Driven by the interface
// controller, read and advanced by the decoder.
struct ReadingCounters {
  int ActiveMeter = 0;          // 0 none, 1, 2
  std::int32_t PacketCount = 0; // packets since the last start of reading or switch
  int PacketsToSkip = 1;        // 1 (USB) or 2 (XBee)
};

}  // namespace vireluz
