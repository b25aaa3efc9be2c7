// Values whose checksum holds but that cannot be true, and the standard
// groups decoded with them: status word, colours, relays, per-phase values
// and the power in W from the indexes.
#include <gtest/gtest.h>

#include "support/tic_builder.h"

namespace vireluz::testing {
namespace {

using F = FieldId;

// A historic HC meter subscribed at 30 A (6900 VA: 1.9 Wh a second).
std::string hc_frame(std::string_view hchp, std::string_view iinst = "005",
                     std::string_view adco = "012345678901") {
  return packet({hgroup("ADCO", adco), hgroup("OPTARIF", "HC.."), hgroup("ISOUSC", "30"),
                 hgroup("HCHC", "001000000"), hgroup("HCHP", hchp), hgroup("PTEC", "HP.."),
                 hgroup("IINST", iinst), hgroup("IMAX", "045"), hgroup("PAPP", "01150")});
}

std::string wh(std::int64_t v) {
  std::string s = std::to_string(v);
  return std::string(9 - s.size(), '0') + s;
}

// One frame every 1.5 s, as a historic meter sends them.
struct Historic : Bench {
  void at(std::string_view p, std::int64_t step_ms = 1500) {
    now_ms += step_ms;
    decoder.ComDataPacket1Packet(p, now_ms);
  }
};

TEST(Plausibility, SwappedIndexDigitsAreIgnoredLikeABadChecksum) {
  Historic b;
  b.at(hc_frame("012345678"));
  const MeterSlot& m = b.meters[0];
  ASSERT_EQ(m.HCHP, "012345678");
  // Two digits swapped: the checksum holds, the index would jump by 9 Wh
  // in 1.5 s (21.6 kW) or go back.
  for (const char* bad : {"012345687", "012346578", "012345768", "021345678"}) {
    b.at(hc_frame(bad));
    EXPECT_EQ(m.HCHP, "012345678") << bad;
    EXPECT_EQ(b.text(F::Edit_index1), "12345,678 kWh") << bad;
  }
  EXPECT_EQ(m.rejected_values, 4);
  // The next true value is judged against the last accepted one, not the
  // refused ones.
  b.at(hc_frame("012345680"));
  EXPECT_EQ(m.HCHP, "012345680");
  // Going back is refused; so is a rise faster than twice 6900 VA, but the
  // same rise after a longer time is taken.
  b.at(hc_frame("012345679"));
  b.at(hc_frame("012345700"));
  EXPECT_EQ(m.HCHP, "012345680");
  b.at(hc_frame("012345700"), 6000);
  EXPECT_EQ(m.HCHP, "012345700");
  EXPECT_EQ(m.rejected_values, 6);
  EXPECT_TRUE(b.messages.messages.empty());
}

TEST(Plausibility, ValuesBelowAWrongIndexThatPassedAreHeldBack) {
  Historic b;
  b.at(hc_frame("012345620"));
  // After a 12 s gap (the other meter's turn), a swap of the last two digits
  // stays within what the meter could count: it passes.
  b.at(hc_frame("012345662"), 12000);
  const MeterSlot& m = b.meters[0];
  ASSERT_EQ(m.HCHP, "012345662");
  // The true values that follow are lower: held back, never shown going back,
  // and still held after the ten frames that accept a new level.
  for (int i = 0; i < 15; ++i) {
    b.at(hc_frame(wh(12345626 + i)));
    EXPECT_EQ(m.HCHP, "012345662");
  }
  // Reaching it again, they are taken.
  b.at(hc_frame("012345663"), 30000);
  EXPECT_EQ(m.HCHP, "012345663");
}

TEST(Plausibility, ANewLevelThatPersistsIsAccepted) {
  Historic b;
  const MeterSlot& m = b.meters[0];
  b.at(hc_frame("012345678"));
  b.at(hc_frame("012345678"));
  // The meter restarted from zero: refused nine times, taken at the tenth
  // consistent value; a stray value among them does not restart the count.
  for (int i = 0; i < 9; ++i) {
    b.at(hc_frame(wh(i / 3)));
    if (i == 5) b.at(hc_frame("099999999"));
    EXPECT_EQ(m.HCHP, "012345678");
  }
  b.at(hc_frame("000000003"));
  EXPECT_EQ(m.HCHP, "000000003");
  EXPECT_EQ(b.text(F::Edit_index1), "0,003 kWh");

  // Three values over a minute are enough.
  b.at(hc_frame("000500000"), 20000);
  b.at(hc_frame("000500001"), 30000);
  EXPECT_EQ(m.HCHP, "000000003");
  b.at(hc_frame("000500002"), 35000);
  EXPECT_EQ(m.HCHP, "000500002");

  // Another meter's address: its first values are taken at once.
  Historic c;
  c.at(hc_frame("012345678"));
  c.decoder.reset_frame_counts();  // a new reading identifies the meter again
  c.at(hc_frame("000000010", "005", "012345678999"));
  EXPECT_EQ(c.meters[0].HCHP, "000000010");
  EXPECT_EQ(c.meters[0].rejected_values, 0);
}

TEST(Plausibility, AWrongFirstValueGivesWayToThreeConsistentOnes) {
  Historic b;
  b.at(hc_frame("021345678"));  // the first value has nothing to compare with
  const MeterSlot& m = b.meters[0];
  EXPECT_EQ(m.HCHP, "021345678");
  b.at(hc_frame("012345678"));
  b.at(hc_frame("012345679"));
  EXPECT_EQ(m.HCHP, "021345678");
  b.at(hc_frame("012345679"));
  EXPECT_EQ(m.HCHP, "012345679");
}

TEST(Plausibility, CurrentsPowersAndVoltagesWithinPhysicalBounds) {
  Historic b;
  b.at(hc_frame("012345678", "005"));
  const MeterSlot& m = b.meters[0];
  // 500 A on a 30 A meter: the group changes nothing (no IMAX, no gauge, no
  // graph sample), like a bad checksum.
  const int samples = b.graphs.graph[0].count;
  b.at(hc_frame("012345678", "500"));
  EXPECT_EQ(m.IINST, "5");
  EXPECT_EQ(b.measure(MeasureKind::IINST, 1), 5);
  EXPECT_EQ(b.graphs.graph[0].count, samples);
  b.at(hc_frame("012345678", "050"));  // above 30 A but within the meter's rating: taken
  EXPECT_EQ(m.IINST, "50");

  // A standard meter: a voltage outside 100-300 V is refused until it
  // persists (a phase that lost its voltage).
  Bench s;
  auto frame = [](std::string_view urms, std::string_view sinsts) {
    return packet({sgroup("ADSC", "064468368739"), sgroup("VTIC", "02"), sgroup("NGTF", "BASE"),
                   sgroup("PREF", "06"), sgroup("EASF01", "000012345"), sgroup("URMS1", urms),
                   sgroup("SINSTS", sinsts), sgroup("IRMS1", "002")});
  };
  s.feed(frame("231", "00450"));
  s.feed(frame("023", "99999"));  // 23 V, 100 kVA on 6 kVA
  EXPECT_EQ(s.meters[0].URMS1, "231");
  EXPECT_EQ(s.meters[0].PAPP, "00450");
  EXPECT_EQ(s.meters[0].rejected_values, 2);
  for (int i = 0; i < 9; ++i) s.feed(frame("000", "00450"));
  EXPECT_EQ(s.meters[0].URMS1, "231");
  s.feed(frame("000", "00450"));
  EXPECT_EQ(s.meters[0].URMS1, "000");
  EXPECT_EQ(s.text(F::Edit_IMAX1), "0 V");
}

std::vector<std::string> tempo_groups(std::string_view stge) {
  return {sgroup("ADSC", "064468368739"),
          sgroup("VTIC", "02"),
          sgroup("NGTF", "     TEMPO      "),
          sgroup("PREF", "12"),
          sgroup("PCOUP", "12"),
          sgroup("EAST", "000210000"),
          sgroup("EASF01", "000100000"),
          sgroup("EASF02", "000110000"),
          sgroup("EASD01", "000200000"),
          sgroup("EASD02", "000010000"),
          sgroup("IRMS1", "004"),
          sgroup("IRMS2", "002"),
          sgroup("IRMS3", "001"),
          sgroup("URMS1", "231"),
          sgroup("URMS2", "229"),
          sgroup("URMS3", "233"),
          sgroup("SINSTS", "01610"),
          sgroup("SINSTS1", "00900"),
          sgroup("SINSTS2", "00470"),
          sgroup("SINSTS3", "00240"),
          sgroup_dated("SMAXSN1", "H230301065253", "03100"),
          sgroup_dated("SMAXSN1-1", "H230228190000", "04000"),
          sgroup_dated("SMAXSN2", "H230301070000", "01200"),
          sgroup_dated("SMAXSN3", "H230301071000", "00800"),
          sgroup("STGE", stge),
          sgroup("RELAIS", "001")};
}

TEST(StandardStatus, TempoColoursContactsAndRelays) {
  Bench b;
  b.settings.prg.MODE_MONO_TRI = 1;
  b.start_reading(1);
  // Tomorrow red (3 in bits 26-27), today white (2 in bits 24-25); the dry
  // contact open, the cut-off device open on over-power (1), over-power,
  // energy flowing out.
  b.feed(packet(tempo_groups("0E0002C3")));
  const MeterSlot& m = b.meters[0];
  EXPECT_EQ(m.DEMAIN, "Rouge");
  EXPECT_EQ(m.today_colour, "Blanc");
  EXPECT_EQ(b.measure(MeasureKind::DEMAIN, 1), static_cast<int>(ColourCode::Rouge));
  EXPECT_EQ(b.window[LedId::rmLed2].off_colour, Colour::Red);
  EXPECT_EQ(m.STGE, "0E0002C3");
  EXPECT_TRUE(m.status.known);
  EXPECT_TRUE(m.status.dry_contact_open);
  EXPECT_EQ(m.status.cut_off, 1);
  EXPECT_TRUE(m.status.over_voltage);
  EXPECT_TRUE(m.status.over_power);
  EXPECT_TRUE(m.status.injecting);
  EXPECT_EQ(m.RELAIS, 1);
  // Per phase, and the totals.
  EXPECT_EQ(m.URMS2, "229");
  EXPECT_EQ(m.URMS3, "233");
  EXPECT_EQ(m.SINSTS2, "00470");
  EXPECT_EQ(m.SMAXSN1, "03100");  // the value, not yesterday's nor the date
  EXPECT_EQ(m.SMAXSN3, "00800");
  EXPECT_EQ(m.IINST3, "1");
  EXPECT_EQ(m.EAST, "000210000");
  EXPECT_EQ(m.EASD[1], "000010000");
  EXPECT_TRUE(m.SINSTI.empty());

  // A failed status word leaves the colours; none announced greys the LED.
  auto bad = tempo_groups("04000000");
  bad[bad.size() - 2] = "\nSTGE\t04000000\t!\r";
  b.feed(packet(bad));
  EXPECT_EQ(m.DEMAIN, "Rouge");
  b.feed(packet(tempo_groups("01000000")));
  EXPECT_EQ(m.DEMAIN, "");
  EXPECT_EQ(m.today_colour, "Bleu");
  EXPECT_EQ(b.measure(MeasureKind::DEMAIN, 1), static_cast<int>(ColourCode::None));
  EXPECT_EQ(b.window[LedId::rmLed2].off_colour, Colour::Gray);
  EXPECT_FALSE(m.status.dry_contact_open);
  EXPECT_EQ(m.rejected_values, 0);

  // A meter on another calendar keeps no colour from the status word.
  Bench base;
  auto groups = tempo_groups("0C000000");
  groups[2] = sgroup("NGTF", "      BASE      ");
  base.feed(packet(groups));
  EXPECT_EQ(base.meters[0].DEMAIN, "");
  EXPECT_EQ(base.measure(MeasureKind::DEMAIN, 1), 0);
  EXPECT_TRUE(base.meters[0].status.known);
}

TEST(StandardStatus, PowerInWattsFromTheIndexes) {
  Bench b;
  auto frame = [](std::int64_t east, std::int64_t eait) {
    return packet({sgroup("ADSC", "064468368739"), sgroup("VTIC", "02"), sgroup("NGTF", "PRODUCTEUR"),
                   sgroup("PREF", "06"), sgroup("EAST", wh(east)), sgroup("EASF01", wh(east)),
                   sgroup("EAIT", wh(eait)), sgroup("SINSTI", "02000")});
  };
  const MeterSlot& m = b.meters[0];
  b.now_ms = 0;
  b.decoder.ComDataPacket1Packet(frame(1000, 50000), 0);
  b.decoder.ComDataPacket1Packet(frame(1004, 50020), 30000);
  EXPECT_EQ(m.drawn_w, -1);  // less than a minute
  b.decoder.ComDataPacket1Packet(frame(1010, 50050), 72000);
  EXPECT_EQ(m.drawn_w, 500);      // 10 Wh in 72 s
  EXPECT_EQ(m.injected_w, 2500);  // 50 Wh in 72 s
  EXPECT_EQ(m.SINSTI, "02000");
  EXPECT_EQ(m.PAPP, "2000");
  b.decoder.ComDataPacket1Packet(frame(1010, 50100), 100000);
  EXPECT_EQ(m.injected_w, 2500);  // until the next minute has passed
  b.decoder.ComDataPacket1Packet(frame(1010, 50125), 135000);
  EXPECT_EQ(m.drawn_w, 0);
  EXPECT_EQ(m.injected_w, 4285);  // 75 Wh in 63 s
}

TEST(JaunePlausibility, EnergyIndexesNeverGoBack) {
  Bench b;
  auto frame = [](std::string_view energ) {
    std::string value = "12:30:45:0100:21::00000550";
    return packet({hgroup("JAUNE", value), hgroup("ENERG", energ)});
  };
  b.feed(frame("000123:000045:000006:000000"));
  b.feed(frame("000123:000044:000006:000000"));
  const MeterSlot& m = b.meters[0];
  EXPECT_EQ(m.ENERG[1], "45");
  EXPECT_EQ(m.rejected_values, 1);
  b.feed(frame("000124:000045:000006:000000"));
  EXPECT_EQ(m.ENERG[0], "124");
}

}  // namespace
}  // namespace vireluz::testing
