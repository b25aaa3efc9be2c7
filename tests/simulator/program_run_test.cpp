// The whole program on the simulated interface in simulated time, as the
// headless runner runs it: what the records, the daily file, the alerts and
// the dump get from meters whose values the checksum cannot vouch for, and
// from standard meters' status word and per-phase values.
#include "support/program_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "simulator/virtual_meter.h"

using namespace vireluz;
using simtest::file_lines;
using simtest::ProgramRun;

namespace {

constexpr std::int64_t kMinuteMs = 60000;
constexpr std::int64_t kHourMs = 3600000;

// Two meters, a record row every minute.
const std::string kTwoMeters = "PERIODE_ENR=0\r\nMODE_INTERFACE=1\r\n";

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::size_t i = 0;
  for (std::size_t j; (j = s.find(sep, i)) != std::string::npos; i = j + 1) out.push_back(s.substr(i, j - i));
  out.push_back(s.substr(i));
  return out;
}

// A record row's time in seconds (dd/mm/yyyy,hh:mm:ss), enough to order rows
// and measure their distance within a month.
std::int64_t row_seconds(const std::vector<std::string>& cells) {
  const auto n = [&](std::size_t cell, std::size_t at) { return std::stoll(cells[cell].substr(at, 2)); };
  return ((n(0, 0) * 24 + n(1, 0)) * 60 + n(1, 3)) * 60 + n(1, 6);
}

struct Sample {
  std::int64_t at_s;
  std::int64_t wh;
};

}  // namespace

// Meter 1 swaps two digits of an index or a current in 30 % of its frames
// (its checksum still holds); meter 2 is clean. Across midnight, every record
// row and the daily line of meter 1 follow the meter: never lower than the
// row before, never risen faster than its 30 A (6900 VA) allow; the dump
// counts the refused values of meter 1 only.
TEST(ProgramRun, SwappedDigitsNeverReachTheRecordsNorTheDailyFile) {
  ProgramRun run(DateTime{2026, 6, 15, 22, 40, 0, 0}, kTwoMeters, "", "meter1=historique,base,swap:0.3");
  run.sched.advance(2 * kHourMs);
  const nlohmann::json dump = run.dump();

  const auto lines = file_lines(run.records() / "enregistrements.csv");
  ASSERT_GT(lines.size(), 100u);
  ASSERT_EQ(lines[2], "date,hh:mm:ss,BASE,I,Pap VA,BASE2,I2,Pap VA cpt2");
  std::vector<Sample> rows;
  for (std::size_t i = 3; i < lines.size(); ++i) {
    const auto cells = split(lines[i], ',');
    ASSERT_EQ(cells.size(), 8u) << lines[i];
    if (cells[2].empty()) continue;  // before meter 1's first index
    rows.push_back({row_seconds(cells), std::stoll(cells[2])});
  }
  ASSERT_GT(rows.size(), 100u);
  const auto daily = file_lines(run.records() / "2026vireluz.csv");
  ASSERT_EQ(daily.size(), 2u);
  EXPECT_EQ(daily[0], "BAS,1,30,CPT2 actif,BAS");
  const auto day = split(daily[1], ',');
  ASSERT_EQ(day.size(), 4u);
  EXPECT_EQ(day[0] + day[1], "0615");
  // The daily line was written in the minute 23:59 of the 15th.
  rows.push_back({((15 * 24 + 23) * 60 + 59) * 60 + 30, std::stoll(day[2])});
  std::sort(rows.begin(), rows.end(), [](const Sample& a, const Sample& b) { return a.at_s < b.at_s; });

  constexpr std::int64_t kMeterVa = 30 * 230;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const std::int64_t dt = rows[i].at_s - rows[i - 1].at_s;
    const std::int64_t rise = rows[i].wh - rows[i - 1].wh;
    EXPECT_GE(rise, 0) << "row " << i << " at " << rows[i].at_s;
    EXPECT_LE(rise, kMeterVa * dt / 3600 + 1) << "row " << i << " at " << rows[i].at_s << " dt " << dt;
  }
  // The records follow the meter: the last index is the meter's own, give or
  // take what it counts in a few seconds.
  const std::int64_t truth = run.sim->meter(1).state().index_wh[0];
  EXPECT_NEAR(static_cast<double>(std::stoll(dump["meters"][0]["BASE"].get<std::string>())),
              static_cast<double>(truth), 100);
  EXPECT_GT(rows.back().wh - rows.front().wh, 500);

  const std::int64_t rejected = dump["meters"][0]["rejected_values"];
  EXPECT_GT(rejected, 100);
  EXPECT_EQ(dump["meters"][1]["rejected_values"], 0);
  EXPECT_TRUE(run.messages.messages.empty());
  std::printf("meter 1: %lld values refused out of %lld packets\n", static_cast<long long>(rejected),
              static_cast<long long>(run.program.packets()));
}

// A meter replaced 20 s after the start: its new, low index is accepted
// within a minute (with or without swapped digits), the records show the old
// index, then the new one, and never anything between.
TEST(ProgramRun, ReplacedMeterIsFollowedWithinAMinute) {
  for (const std::string words : {"historique,base,replaced:20", "historique,base,replaced:20,swap:0.3"}) {
    SCOPED_TRACE(words);
    ProgramRun run(DateTime{2026, 6, 15, 12, 0, 0, 0}, kTwoMeters, "", "meter1=" + words);
    const MeterSlot& m = run.program.meters()[0];
    run.sched.advance(19000);
    ASSERT_FALSE(m.BASE.empty());
    EXPECT_GT(std::stoll(m.BASE), 1000000);
    std::int64_t at = 0;
    auto watch = run.program.on_packet_decoded.subscribe([&](int) {
      if (at == 0 && !m.BASE.empty() && std::stoll(m.BASE) < 100000) at = run.sched.now_utc_ms();
    });
    const std::int64_t replaced = run.sched.now_utc_ms() + 1000;
    run.sched.advance(5 * kMinuteMs);
    ASSERT_NE(at, 0);
    EXPECT_LT(at - replaced, kMinuteMs);
    std::printf("new index accepted %.1f s after the replacement\n",
                static_cast<double>(at - replaced) / 1000);
    EXPECT_NEAR(static_cast<double>(std::stoll(m.BASE)),
                static_cast<double>(run.sim->meter(1).state().index_wh[0]), 50);
    std::vector<std::int64_t> rows;
    for (const auto& line : file_lines(run.records() / "enregistrements.csv")) {
      const auto cells = split(line, ',');
      if (cells.size() == 8 && !cells[2].empty() && cells[2] != "BASE") rows.push_back(std::stoll(cells[2]));
    }
    ASSERT_GE(rows.size(), 4u);
    int drops = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) drops += rows[i] < rows[i - 1];
    EXPECT_LE(drops, 1);
    EXPECT_LT(rows.back(), 100000);
  }
}

// A standard Tempo meter: tomorrow's colour comes from its status word into
// the dump, the window's colour LED and the alert table, where a rule on
// "Couleur lendemain" fires.
TEST(ProgramRun, StandardTempoMeterAnnouncesTomorrowsColour) {
  // A winter day whose next day is white or red for the simulated meter 1.
  VirtualMeterConfig tempo;
  tempo.mode = SimTicMode::STANDARD;
  tempo.option = SimTariff::TEMPO;
  tempo.seed = 1;
  DateTime day;
  int colour = 0;  // 1 blue, 2 white, 3 red
  for (int d = 5; d <= 28 && colour < 2; ++d) {
    day = DateTime{2026, 1, d, 12, 0, 0, 0};
    VirtualMeter m(tempo, 1);
    m.next_frame(day);
    colour = m.state().tomorrow_colour;
  }
  ASSERT_GE(colour, 2);
  const std::string threshold = std::to_string(colour - 1);
  const std::string alerts =
      "[CONFIG_MAIL]\r\nACTIF=1\r\nSMTP=127.0.0.1\r\nEMETTEUR=v@m.fr\r\nDESTINATAIRE=d@m.fr\r\n"
      "TABLEAU VIDE=NON\r\n[GENERAL]\r\nCOLCOUNT=17\r\nROWCOUNT=1\r\n[0]\r\n0=Compteur 1\r\n"
      "[1]\r\n0=Couleur lendemain\r\n[2]\r\n0==\r\n[4]\r\n0=Couleur de demain annoncee\r\n[5]\r\n0=0\r\n"
      "[6]\r\n0=6\r\n[7]\r\n0=2\r\n[8]\r\n0=" +
      threshold + "\r\n[11]\r\n0=0\r\n[13]\r\n0=0\r\n";
  ProgramRun run(day, "MODE_INTERFACE=0\r\nMODE_TIC_cpt1=1\r\n", alerts, "meter1=standard,tempo");
  run.sched.advance(2 * kMinuteMs);

  const nlohmann::json m = run.dump()["meters"][0];
  EXPECT_EQ(m["tariff_kind"], static_cast<int>(TariffKind::TEMPO));
  EXPECT_EQ(m["DEMAIN"], colour == 2 ? "Blanc" : "Rouge");
  EXPECT_FALSE(m["today_colour"].get<std::string>().empty());
  EXPECT_EQ(m["status"]["cut_off"], 0);
  EXPECT_EQ(run.program.measures().at(MeasureKind::DEMAIN, 1), colour - 1);
  const Led& led = run.program.window()[LedId::rmLed2];
  EXPECT_EQ(led.off_colour, colour == 2 ? Colour::White : Colour::Red);
  ASSERT_EQ(run.mail.sent.size(), 1u);
  const auto& body = run.mail.sent[0].body;
  EXPECT_NE(std::find(body.begin(), body.end(), "Couleur de demain annoncee"), body.end());
  EXPECT_EQ(m["rejected_values"], 0);
}

// A standard three-phase meter and a standard producer: three voltages,
// three per-phase apparent powers, the injected power and the active power in
// W from the indexes.
TEST(ProgramRun, StandardThreePhaseAndProducerValues) {
  ProgramRun run(DateTime{2026, 6, 15, 12, 0, 0, 0},
                 "MODE_INTERFACE=1\r\nMODE_TIC_cpt1=1\r\nMODE_TIC_cpt2=1\r\nMODE_MONO_TRI=1\r\n", "",
                 "meter1=standard,tri,hc,peak:6000");
  run.sched.advance(4 * kMinuteMs);
  const nlohmann::json dump = run.dump();
  const nlohmann::json& m = dump["meters"][0];
  int va = 0;
  for (const char* k : {"1", "2", "3"}) {
    const int u = std::stoi(m[std::string("URMS") + k].get<std::string>());
    EXPECT_GE(u, 220) << k;
    EXPECT_LE(u, 240) << k;
    va += std::stoi(m[std::string("SINSTS") + k].get<std::string>());
    EXPECT_FALSE(m[std::string("SMAXSN") + k].get<std::string>().empty()) << k;
    EXPECT_FALSE(m[std::string("IINST") + k].get<std::string>().empty()) << k;
  }
  EXPECT_NEAR(va, std::stoi(m["PAPP"].get<std::string>()), 3);
  // The meter counts the VA it shows as Wh: over a minute, the power in W
  // is about the apparent power of the frames.
  ASSERT_TRUE(m["drawn_w"].is_number());
  EXPECT_NEAR(m["drawn_w"].get<double>(), va, 0.3 * va + 60);
  EXPECT_FALSE(m["EAST"].get<std::string>().empty());
  EXPECT_EQ(m["RELAIS"], 0);  // peak hours: the off-peak relay is open
  EXPECT_EQ(m["status"]["cut_off"], 0);

  const nlohmann::json& p = dump["meters"][1];
  EXPECT_EQ(p["tariff_kind"], static_cast<int>(TariffKind::PROD));
  const int injected = std::stoi(p["SINSTI"].get<std::string>());
  EXPECT_GT(injected, 500);  // a June noon
  ASSERT_TRUE(p["injected_w"].is_number());
  EXPECT_NEAR(p["injected_w"].get<double>(), injected, 0.3 * injected + 60);
  EXPECT_EQ(m["rejected_values"], 0);
  EXPECT_EQ(p["rejected_values"], 0);
}
