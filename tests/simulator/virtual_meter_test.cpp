#include "simulator/virtual_meter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/settings.h"
#include "support/tic_check.h"

using namespace vireluz;
using simtest::Frame;
using simtest::parse_frame;

namespace {

DateTime at(int y, int mo, int d, int h, int mi = 0, int s = 0) { return DateTime{y, mo, d, h, mi, s, 0}; }

DateTime plus_ms(const DateTime& t, std::int64_t ms) { return civil_from_ms(ms_from_civil(t) + ms); }

VirtualMeterConfig make(SimTicMode mode, SimTariff option, bool tri = false, bool solar = false) {
  VirtualMeterConfig c;
  c.mode = mode;
  c.option = option;
  c.three_phase = tri;
  c.solar = solar;
  c.seed = 7;
  return c;
}

long long num(const std::string& s) { return std::strtoll(s.c_str(), nullptr, 10); }

// Where the program looks for a label (its first occurrence in the frame), it
// must find the group itself, not the same letters inside another group.
void expect_labels_at_group_starts(const std::string& f, const std::vector<std::string>& labels) {
  for (const auto& l : labels) {
    const std::size_t p = f.find(l);
    if (p == std::string::npos) continue;
    EXPECT_EQ(f[p - 1], '\n') << l;
  }
}

}  // namespace

TEST(VirtualMeter, EveryKindOfMeterSendsWellFormedFrames) {
  struct Kind {
    SimTicMode mode;
    SimTariff option;
    bool tri;
    std::vector<std::string> labels;
  };
  const std::vector<Kind> kinds = {
      {SimTicMode::HISTORIC,
       SimTariff::HC,
       false,
       {"ADCO", "OPTARIF", "ISOUSC", "HCHC", "HCHP", "PTEC", "IINST", "IMAX", "PAPP", "HHPHC", "MOTDETAT"}},
      {SimTicMode::HISTORIC,
       SimTariff::BASE,
       true,
       {"BASE", "IINST1", "IINST2", "IINST3", "IMAX3", "PMAX", "PAPP", "PPOT"}},
      {SimTicMode::HISTORIC, SimTariff::EJP, false, {"EJPHN", "EJPHPM", "PTEC"}},
      {SimTicMode::HISTORIC,
       SimTariff::TEMPO,
       false,
       {"BBRHCJB", "BBRHPJB", "BBRHCJW", "BBRHPJW", "BBRHCJR", "BBRHPJR", "DEMAIN"}},
      {SimTicMode::HISTORIC, SimTariff::PRODUCTEUR, false, {"BASE", "PAPP"}},
      {SimTicMode::STANDARD,
       SimTariff::HC,
       false,
       {"ADSC",  "VTIC",  "DATE", "NGTF",  "LTARF",  "EAST",   "EASF01",   "EASF10",   "EASD04",
        "IRMS1", "URMS1", "PREF", "PCOUP", "SINSTS", "SMAXSN", "SMAXSN-1", "CCASN",    "CCASN-1",
        "UMOY1", "STGE",  "MSG1", "PRM",   "RELAIS", "NTARF",  "NJOURF",   "NJOURF+1", "PJOURF+1"}},
      {SimTicMode::STANDARD, SimTariff::TEMPO, true, {"IRMS3", "URMS3", "SINSTS3", "SMAXSN3", "UMOY3"}},
      {SimTicMode::STANDARD, SimTariff::EJP, false, {"EASF02"}},
      {SimTicMode::STANDARD,
       SimTariff::PRODUCTEUR,
       false,
       {"EAIT", "ERQ1", "ERQ4", "SINSTI", "SMAXIN", "SMAXIN-1", "CCAIN", "CCAIN-1"}},
  };
  const std::vector<std::string> program_labels = {
      "ADCO",   "ISOUSC", "OPTARIF", "HCHP",   "HCHC",   "EJPHN", "EJPHPM", "PEJP",  "BBRHCJB", "BBRHPJR",
      "DEMAIN", "PTEC",   "IINST",   "IMAX",   "ADSC",   "VTIC",  "PREF",   "NGTF",  "STGE",    "LTARF",
      "EASF01", "EASF06", "EAIT",    "SINSTI", "SINSTS", "URMS1", "IRMS1",  "IRMS2", "IRMS3"};
  for (const auto& k : kinds) {
    VirtualMeter m(make(k.mode, k.option, k.tri));
    DateTime t = at(2026, 1, 12, 5, 59, 50);
    for (int i = 0; i < 12; ++i, t = plus_ms(t, 1000)) {
      const std::string bytes = m.next_frame(t);
      SCOPED_TRACE(bytes);
      ASSERT_GE(bytes.size(), 4u);
      EXPECT_EQ(bytes.substr(0, 2), "\x02\n");
      EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\x03");
      const Frame f = parse_frame(bytes);
      EXPECT_TRUE(f.all_ok());
      EXPECT_EQ(f.standard, k.mode == SimTicMode::STANDARD);
      for (const auto& l : k.labels) EXPECT_NE(f.find(l), nullptr) << l;
      expect_labels_at_group_starts(bytes, program_labels);
      if (k.mode == SimTicMode::HISTORIC) {
        EXPECT_EQ(f.value("ADCO"), "SIMU00000001");
        EXPECT_EQ(f.value("OPTARIF").size(), 4u);
        EXPECT_EQ(f.value("ISOUSC").size(), 2u);
        EXPECT_EQ(f.value("PTEC").size(), 4u);
        EXPECT_EQ(f.value("PAPP").size(), 5u);
        for (const char* l : {"BASE", "HCHC", "HCHP", "EJPHN", "EJPHPM", "BBRHCJB", "BBRHPJR"})
          if (f.find(l)) {
            EXPECT_EQ(f.value(l).size(), 9u) << l;
          }
        for (const char* l : {"IINST", "IMAX", "IINST1", "IINST3", "IMAX2"})
          if (f.find(l)) {
            EXPECT_EQ(f.value(l).size(), 3u) << l;
          }
      } else {
        EXPECT_EQ(f.value("ADSC"), "SIMU00000001");
        EXPECT_EQ(f.value("NGTF").size(), 16u);
        EXPECT_EQ(f.value("LTARF").size(), 16u);
        EXPECT_EQ(f.value("MSG1").size(), 32u);
        EXPECT_EQ(f.value("PJOURF+1").size(), 98u);
        EXPECT_EQ(f.find("DATE")->date.substr(0, 1), "H");  // winter time in January
        // The period in bits 10-13 of the status word is the tariff index.
        const unsigned long stge = std::strtoul(f.value("STGE").c_str(), nullptr, 16);
        EXPECT_EQ(static_cast<long long>((stge >> 10) & 0xF) + 1, num(f.value("NTARF")));
      }
    }
  }
}

TEST(VirtualMeter, DatesCarryTheSeasonLetter) {
  VirtualMeter m(make(SimTicMode::STANDARD, SimTariff::BASE));
  EXPECT_EQ(parse_frame(m.next_frame(at(2026, 7, 14, 9, 30, 5))).find("DATE")->date, "E260714093005");
  EXPECT_EQ(parse_frame(m.next_frame(at(2026, 10, 25, 3, 0, 0))).find("DATE")->date, "H261025030000");
  EXPECT_EQ(parse_frame(m.next_frame(at(2026, 3, 29, 3, 0, 0))).find("DATE")->date, "E260329030000");
  EXPECT_EQ(parse_frame(m.next_frame(at(2026, 3, 28, 23, 0, 0))).find("DATE")->date, "H260328230000");
}

TEST(VirtualMeter, SameSeedSameFramesOtherSeedOtherFrames) {
  auto run = [](std::uint64_t seed) {
    auto c = make(SimTicMode::HISTORIC, SimTariff::HC);
    c.seed = seed;
    VirtualMeter m(c);
    std::string all;
    DateTime t = at(2026, 2, 3, 18, 0, 0);
    for (int i = 0; i < 50; ++i, t = plus_ms(t, 2000)) all += m.next_frame(t);
    return all;
  };
  EXPECT_EQ(run(3), run(3));
  EXPECT_NE(run(3), run(4));
}

// The indexes count exactly the energy of the powers shown, frame after frame.
TEST(VirtualMeter, IndexesGrowWithTheEnergyDrawnAndNeverDecrease) {
  for (const auto option : {SimTariff::HC, SimTariff::TEMPO, SimTariff::PRODUCTEUR}) {
    auto c = make(SimTicMode::STANDARD, option);
    VirtualMeter m(c);
    DateTime t = at(2026, 6, 20, 21, 0, 0);
    m.next_frame(t);
    auto total = [&] {
      long long s = m.state().injected_wh;
      for (auto v : m.state().index_wh) s += v;
      return s;
    };
    const long long start = total();
    std::array<std::int64_t, 10> prev = m.state().index_wh;
    std::int64_t prev_inj = m.state().injected_wh;
    double expected_vams = 0;
    for (int i = 0; i < 4000; ++i) {  // about two hours across 22:00
      const int dt = 1700 + (i % 7) * 100;
      expected_vams += static_cast<double>(m.state().power_va + m.state().drawn_va) * dt;
      t = plus_ms(t, dt);
      const Frame f = parse_frame(m.next_frame(t));
      for (std::size_t k = 0; k < prev.size(); ++k) EXPECT_GE(m.state().index_wh[k], prev[k]);
      EXPECT_GE(m.state().injected_wh, prev_inj);
      prev = m.state().index_wh;
      prev_inj = m.state().injected_wh;
      // What the frame says is what the meter counted.
      long long sum = 0;
      for (int k = 1; k <= 10; ++k) sum += num(f.value(k < 10 ? "EASF0" + std::to_string(k) : "EASF10"));
      EXPECT_EQ(sum, num(f.value("EAST")));
    }
    EXPECT_NEAR(static_cast<double>(total() - start), expected_vams / 3.6e6, 2.0);
    if (option != SimTariff::PRODUCTEUR) {
      EXPECT_GT(total() - start, 500);
    }
  }
}

TEST(VirtualMeter, LongGapsAreCountedAlongTheDailyProfile) {
  VirtualMeter home(make(SimTicMode::HISTORIC, SimTariff::HC));
  VirtualMeter solar(make(SimTicMode::HISTORIC, SimTariff::BASE, false, true));
  home.next_frame(at(2026, 6, 1, 0, 0));
  solar.next_frame(at(2026, 6, 1, 0, 0));
  const auto h0 = home.state().index_wh[0] + home.state().index_wh[1];
  const auto s0 = solar.state().index_wh[0];
  home.next_frame(at(2026, 6, 2, 0, 0));
  solar.next_frame(at(2026, 6, 2, 0, 0));
  const auto day_home = home.state().index_wh[0] + home.state().index_wh[1] - h0;
  const auto day_solar = solar.state().index_wh[0] - s0;
  EXPECT_GT(day_home, 8000);  // Wh in a day of a household
  EXPECT_LT(day_home, 60000);
  EXPECT_GT(day_solar, 2000);  // a 3 kVA plant in June
  EXPECT_LT(day_solar, 25000);
  // Going back in time counts nothing.
  const auto before = home.state().index_wh;
  home.next_frame(at(2026, 6, 1, 12, 0));
  EXPECT_EQ(home.state().index_wh, before);
}

TEST(VirtualMeter, ProductionFollowsTheSun) {
  for (int month = 1; month <= 12; ++month) {
    for (const auto mode : {SimTicMode::HISTORIC, SimTicMode::STANDARD}) {
      auto c =
          make(mode, mode == SimTicMode::HISTORIC ? SimTariff::BASE : SimTariff::PRODUCTEUR, false, true);
      c.seed = static_cast<std::uint64_t>(month);
      VirtualMeter m(c);
      const Frame night = parse_frame(m.next_frame(at(2026, month, 10, 2, 30)));
      EXPECT_EQ(m.state().power_va, 0) << month;
      EXPECT_EQ(num(night.value(mode == SimTicMode::HISTORIC ? "PAPP" : "SINSTI")), 0);
      const Frame noon = parse_frame(m.next_frame(at(2026, month, 10, 13, 30)));
      EXPECT_GT(m.state().power_va, 0) << month;
      EXPECT_EQ(num(noon.value(mode == SimTicMode::HISTORIC ? "PAPP" : "SINSTI")), m.state().power_va);
      m.next_frame(at(2026, month, 10, 23, 30));
      EXPECT_EQ(m.state().power_va, 0);
    }
  }
}

TEST(VirtualMeter, ConsumptionHasItsDailyShapeAndCurrentsFollowThePower) {
  VirtualMeter m(make(SimTicMode::HISTORIC, SimTariff::BASE));
  auto mean_at = [&](int hour) {
    double s = 0;
    for (int d = 1; d <= 20; ++d) {
      m.next_frame(at(2026, 3, d, hour, 10));
      s += m.state().power_va;
    }
    return s / 20;
  };
  const double night = mean_at(4), evening = mean_at(20);
  EXPECT_GT(night, 150);
  EXPECT_GT(evening, 2 * night);

  VirtualMeter tri(make(SimTicMode::HISTORIC, SimTariff::BASE, true));
  DateTime t = at(2026, 1, 5, 19, 0);
  for (int i = 0; i < 200; ++i, t = plus_ms(t, 2000)) {
    const Frame f = parse_frame(tri.next_frame(t));
    const auto& s = tri.state();
    EXPECT_EQ(s.phase_va[0] + s.phase_va[1] + s.phase_va[2], s.power_va);
    EXPECT_EQ(num(f.value("PAPP")), s.power_va);
    for (int p = 0; p < 3; ++p) {
      EXPECT_EQ(num(f.value("IINST" + std::to_string(p + 1))), std::lround(s.phase_va[p] / 230.0));
      EXPECT_GE(num(f.value("IMAX" + std::to_string(p + 1))), num(f.value("IINST" + std::to_string(p + 1))));
    }
    EXPECT_LE(s.power_va, 3 * 20 * 230);  // never above the subscribed current
  }
}

TEST(VirtualMeter, OffPeakHoursStartAt22AndEndAt6) {
  VirtualMeter h(make(SimTicMode::HISTORIC, SimTariff::HC));
  VirtualMeter s(make(SimTicMode::STANDARD, SimTariff::HC));
  const std::vector<std::pair<DateTime, bool>> checks = {{at(2026, 4, 8, 21, 59, 58), false},
                                                         {at(2026, 4, 8, 22, 0, 1), true},
                                                         {at(2026, 4, 9, 5, 59, 59), true},
                                                         {at(2026, 4, 9, 6, 0, 0), false}};
  for (const auto& [t, off_peak] : checks) {
    EXPECT_EQ(parse_frame(h.next_frame(t)).value("PTEC"), off_peak ? "HC.." : "HP..");
    const Frame f = parse_frame(s.next_frame(t));
    EXPECT_EQ(f.value("LTARF"), off_peak ? " HEURE  CREUSE  " : " HEURE  PLEINE  ");
    EXPECT_EQ(f.value("NTARF"), off_peak ? "02" : "01");
    EXPECT_EQ(f.value("RELAIS"), off_peak ? "001" : "000");
  }
  // The energy of off-peak hours goes to HCHC only.
  h.next_frame(at(2026, 4, 10, 23, 0));
  const auto hp = h.state().index_wh[0], hc = h.state().index_wh[1];
  h.next_frame(at(2026, 4, 10, 23, 0, 30));
  h.next_frame(at(2026, 4, 10, 23, 1, 0));
  EXPECT_EQ(h.state().index_wh[0], hp);
  EXPECT_GT(h.state().index_wh[1], hc);
}

TEST(VirtualMeter, TempoColoursAndEjpNotice) {
  VirtualMeter m(make(SimTicMode::HISTORIC, SimTariff::TEMPO));
  int red = 0, white = 0;
  for (int d = 1; d <= 28; ++d) {
    const Frame morning = parse_frame(m.next_frame(at(2026, 2, d, 8, 0)));
    EXPECT_EQ(morning.value("DEMAIN"), "----");
    const std::string today = morning.value("PTEC");
    if (today == "HPJR") ++red;
    if (today == "HPJW") ++white;
    const Frame noon = parse_frame(m.next_frame(at(2026, 2, d, 12, 0)));
    const std::string demain = noon.value("DEMAIN");
    EXPECT_TRUE(demain == "BLEU" || demain == "BLAN" || demain == "ROUG") << demain;
    // Tomorrow's announced colour is the colour of the next day's peak hours.
    const Frame next = parse_frame(m.next_frame(at(2026, 2, d + 1 <= 28 ? d + 1 : 28, d < 28 ? 8 : 12, 0)));
    if (d < 28) {
      const std::string p = next.value("PTEC");
      EXPECT_EQ(p.substr(3), demain == "BLEU" ? "B" : demain == "BLAN" ? "W" : "R");
    }
  }
  EXPECT_GT(red, 0);
  EXPECT_GT(white, 0);
  // Sundays are blue.
  EXPECT_EQ(parse_frame(m.next_frame(at(2026, 2, 8, 10, 0))).value("PTEC"), "HPJB");

  VirtualMeter ejp(make(SimTicMode::HISTORIC, SimTariff::EJP));
  int notices = 0, peaks = 0;
  for (int d = 1; d <= 31; ++d) {
    const Frame before = parse_frame(ejp.next_frame(at(2026, 1, d, 6, 45)));
    const Frame during = parse_frame(ejp.next_frame(at(2026, 1, d, 12, 0)));
    const bool notice = before.find("PEJP") != nullptr;
    if (notice) {
      ++notices;
      EXPECT_EQ(before.value("PEJP"), "30");
      EXPECT_EQ(during.value("PTEC"), "PM..");
    }
    if (during.value("PTEC") == "PM..") ++peaks;
    EXPECT_EQ(during.find("PEJP"), nullptr);
  }
  EXPECT_GT(notices, 0);
  EXPECT_EQ(notices, peaks);
}

TEST(VirtualMeter, CorruptionMakesSomeChecksumsFail) {
  auto c = make(SimTicMode::HISTORIC, SimTariff::HC);
  c.corruption = 0.01;
  VirtualMeter m(c);
  int bad = 0, good = 0;
  DateTime t = at(2026, 5, 5, 10, 0);
  for (int i = 0; i < 100; ++i, t = plus_ms(t, 2000)) {
    const std::string bytes = m.next_frame(t);
    for (const auto& g : parse_frame(bytes).groups) (g.checksum_ok && g.well_formed ? good : bad)++;
    for (const char ch : bytes) EXPECT_LT(static_cast<unsigned char>(ch), 0x80);  // 7 data bits
  }
  EXPECT_GT(bad, 20);
  EXPECT_GT(good, 5 * bad);
}

TEST(VirtualMeter, FollowsTheSettingsByDefault) {
  Settings s;
  auto m1 = default_meter_config(1, s), m2 = default_meter_config(2, s);
  EXPECT_EQ(m1.mode, SimTicMode::HISTORIC);
  EXPECT_EQ(m1.option, SimTariff::HC);
  EXPECT_FALSE(m1.produces());
  EXPECT_EQ(m2.option, SimTariff::BASE);
  EXPECT_TRUE(m2.produces());
  EXPECT_FALSE(m2.unplugged);
  s.prg.MODE_TIC_cpt2 = 1;
  s.prg.MODE_MONO_TRI = 1;
  s.prg.MODE_INTERFACE = 0;
  m1 = default_meter_config(1, s);
  m2 = default_meter_config(2, s);
  EXPECT_TRUE(m1.three_phase);
  EXPECT_EQ(m2.mode, SimTicMode::STANDARD);
  EXPECT_EQ(m2.option, SimTariff::PRODUCTEUR);
  EXPECT_EQ(m2.baud(), 9600);
  EXPECT_TRUE(m2.unplugged);
}
