#pragma once
// The main window's presentation state, free of any toolkit: what each
// component shows. The program's rules write it; the Qt window only renders it.
#include <array>
#include <cstdint>

#include "common/text.h"
#include "display/components.h"

namespace vireluz {

enum class Colour : std::uint8_t { Default, Black, Yellow, Gray, Red, Blue, Lime, White, Green };

// Lower-case colour names, as the JSON dumps print them ("" for Default).
std::string_view colour_name(Colour c);

struct Field {
  Text text;  // caption or content, Windows-1252
  bool visible = true;
  bool enabled = true;
  Colour background = Colour::Default;
  Colour font = Colour::Default;
  bool bold = false;
  int width = 0;  // 0: the toolkit's own; set for panels that the layout resizes

  bool operator==(const Field&) const = default;
};

struct Led {
  bool on = false;
  Colour on_colour = Colour::Lime;
  Colour off_colour = Colour::Gray;
  bool visible = true;

  bool operator==(const Led&) const = default;
};

struct Gauge {
  int max = 100;
  int zone1 = 60;  // lime up to here
  int zone2 = 80;  // yellow up to here, red above
  int position = 0;
  bool visible = true;

  bool operator==(const Gauge&) const = default;
};

struct MainWindowState {
  std::array<Field, kFieldCount> fields{};
  std::array<Led, kLedCount> leds{};
  std::array<Gauge, kGaugeCount> gauges{};
  // Bumped by every writer that wants the window repainted.
  std::uint64_t serial = 0;

  Field& operator[](FieldId id) { return fields[static_cast<std::size_t>(id)]; }
  const Field& operator[](FieldId id) const { return fields[static_cast<std::size_t>(id)]; }
  Led& operator[](LedId id) { return leds[static_cast<std::size_t>(id)]; }
  const Led& operator[](LedId id) const { return leds[static_cast<std::size_t>(id)]; }
  Gauge& operator[](GaugeId id) { return gauges[static_cast<std::size_t>(id)]; }
  const Gauge& operator[](GaugeId id) const { return gauges[static_cast<std::size_t>(id)]; }
};

// The state at design time: captions, colours, visibility before any frame.
MainWindowState design_main_window();

}  // namespace vireluz
