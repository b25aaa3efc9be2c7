// Byte sequences that are not well-formed frames never break the decoder: the
// readable groups are still decoded and the counters always advance.
#include <gtest/gtest.h>

#include <random>

#include "support/tic_builder.h"

namespace vireluz::testing {
namespace {

std::string good_historic() {
  return packet({hgroup("ADCO", "012345678910"), hgroup("OPTARIF", "HC.."), hgroup("ISOUSC", "45"),
                 hgroup("HCHC", "001234567"), hgroup("HCHP", "012345678"), hgroup("PTEC", "HP.."),
                 hgroup("IINST", "012"), hgroup("IMAX", "045"), hgroup("PAPP", "02760")});
}

TEST(Robustness, LabelsCutByTheEndOfThePacket) {
  const std::string full = good_historic();
  for (std::size_t n = 0; n <= full.size(); ++n) {
    Bench b;
    b.feed(std::string_view(full).substr(0, n));
    EXPECT_EQ(b.counters.PacketCount, 1);
  }
  const std::string standard = packet({sgroup("ADSC", "064468368739"), sgroup("VTIC", "02"),
                                       sgroup("NGTF", "BASE"), sgroup("EASF01", "000012345")});
  for (std::size_t n = 0; n <= standard.size(); ++n) {
    Bench b;
    b.feed(std::string_view(standard).substr(0, n));
    EXPECT_EQ(b.counters.PacketCount, 1);
  }
  // An empty packet with no storage behind it.
  Bench empty;
  empty.feed(std::string_view());
  EXPECT_EQ(empty.counters.PacketCount, 1);
  // Label right at the end, then label + separator only.
  Bench b;
  for (const char* p : {"\nADCO", "\nADCO ", "\nADSC\t", "\nADSC\t1", "\nJAUNE ", "\nENERG 1:2", "\nPAPP 0"})
    b.feed(p);
  EXPECT_EQ(b.counters.PacketCount, 7);
}

TEST(Robustness, ReadableGroupsSurviveBrokenNeighbours) {
  Bench b;
  std::string p = good_historic();
  p.insert(p.find("\nHCHP"), "\nISOUSC\nOPTARIF \n\t\t\t\nPTEC\n\n");
  b.feed(p);
  EXPECT_EQ(b.text(FieldId::Edit_index1), "12345,678 kWh");
  EXPECT_EQ(b.text(FieldId::Edit_papp1), "2760 VA");
}

TEST(Robustness, LargeAndNoisyPackets) {
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int> byte(0, 255);
  const std::string good = good_historic();
  for (int round = 0; round < 300; ++round) {
    Bench b;
    std::string noise(static_cast<std::size_t>(round * 7 % 2049), '\0');
    for (char& c : noise) c = static_cast<char>(byte(rng));
    // Sprinkle separators and labels so that the group paths are exercised.
    for (std::size_t i = 0; i + 8 < noise.size(); i += 37)
      noise.replace(i, 6, round % 2 ? "\nPTEC " : "\nIRMS1\t");
    b.feed(noise);
    b.feed(noise + good);
    b.feed(good + noise);
    EXPECT_EQ(b.counters.PacketCount, 3);
  }
  // A 2048-byte packet made of one good frame padded with binary noise.
  Bench b;
  std::string big = good_historic();
  while (big.size() < 2048) big.push_back(static_cast<char>(byte(rng)));
  b.feed(big);
  EXPECT_EQ(b.text(FieldId::Edit_index2), "1234,567 kWh");
}

TEST(Robustness, DigitsExpectedLettersArrive) {
  Bench b;
  b.feed(good_historic());
  b.feed(packet({hgroup("ADCO", "012345678910"), hgroup("IINST", "ABC"), hgroup("IMAX", "XYZ"),
                 hgroup("PAPP", "0A760"), hgroup("HCHP", "ABCDEFGHI")}));
  EXPECT_EQ(b.text(FieldId::Edit_i_inst1), "12 A");
  EXPECT_EQ(b.text(FieldId::Edit_papp1), "2760 VA");
  EXPECT_EQ(b.measure(MeasureKind::PAPP, 1), 2760);
  EXPECT_EQ(b.meters[0].HCHP, "012345678");
  // ISOUSC with letters and a valid checksum: not taken.
  Bench c;
  c.feed(packet({hgroup("ADCO", "012345678910"), hgroup("ISOUSC", "4X"), hgroup("OPTARIF", "BASE")}));
  EXPECT_EQ(c.meters[0].ISOUSC, "");
  EXPECT_TRUE(c.meters[0].identified);
}

}  // namespace
}  // namespace vireluz::testing
