#include "simulator/frame_builder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "support/tic_check.h"

using namespace vireluz;

namespace {
std::string read_capture(const char* name) {
  std::ifstream in(std::string(VIRELUZ_CAPTURES_DIR) + "/" + name, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}
}  // namespace

TEST(TicChecksum, MatchesTheKnownGroups) {
  EXPECT_EQ(tic_checksum_char("ISOUSC 30"), '9');
  EXPECT_EQ(tic_checksum_char("VTIC\t02\t"), 'J');
  // Bytes above 0x7F count as unsigned values.
  EXPECT_EQ(tic_checksum_char(std::string(1, '\xFF')), static_cast<char>((0xFF & 0x3F) + 0x20));
  for (int c = 0; c < 256; ++c) {
    const char k = tic_checksum_char(std::string(3, static_cast<char>(c)));
    EXPECT_GE(k, 0x20);
    EXPECT_LE(k, 0x5F);
  }
}

// The builder reproduces, byte for byte, groups recorded from real meters.
TEST(TicFrameBuilder, ReproducesRealMeterGroups) {
  const std::string historic = read_capture("continuous_linky_3P_historical_TIC_sample.bin");
  const std::string standard = read_capture("continuous_linky_1P_standard_TIC_sample.bin");
  ASSERT_FALSE(historic.empty());
  ASSERT_FALSE(standard.empty());
  for (const auto& [label, value] : {std::pair{"ADCO", "056234673197"},
                                     {"OPTARIF", "BASE"},
                                     {"ISOUSC", "20"},
                                     {"PTEC", "TH.."},
                                     {"IINST2", "002"},
                                     {"PAPP", "00740"},
                                     {"HHPHC", "A"},
                                     {"MOTDETAT", "000000"}})
    EXPECT_NE(historic.find(historic_group(label, value)), std::string::npos) << label;
  for (const auto& [label, value] : {std::pair{"ADSC", "064468368739"},
                                     {"VTIC", "02"},
                                     {"NGTF", "      BASE      "},
                                     {"EASF01", "011887649"},
                                     {"STGE", "003A0001"},
                                     {"MSG1", "PAS DE          MESSAGE         "}})
    EXPECT_NE(standard.find(standard_group(label, value)), std::string::npos) << label;
  EXPECT_NE(standard.find(standard_dated_group("DATE", "H230301091834", "")), std::string::npos);
  EXPECT_NE(standard.find(standard_dated_group("SMAXSN", "H230301065253", "01024")), std::string::npos);
}

TEST(TicFrameBuilder, FramesAreDelimitedAndCanCarryBadGroups) {
  TicFrameBuilder b;
  b.add_historic("ADCO", "SIMU00000001").add_historic_with("ISOUSC", "30", '8').add_raw("\x01junk");
  const std::string f = b.frame();
  EXPECT_EQ(f.front(), kStx);
  EXPECT_EQ(f.back(), kEtx);
  EXPECT_EQ(f.substr(1, f.size() - 2), b.groups());
  EXPECT_EQ(b.group_count(), 2u);
  EXPECT_NE(f.find("\nISOUSC 30 8\r"), std::string::npos);
  const auto parsed = simtest::parse_frame(f);
  ASSERT_GE(parsed.groups.size(), 2u);
  EXPECT_TRUE(parsed.groups[0].checksum_ok);
  EXPECT_FALSE(parsed.groups[1].checksum_ok);

  TicFrameBuilder s;
  s.add_standard("VTIC", "02")
      .add_standard_with("PREF", "09", '!')
      .add_standard_dated("SMAXSN", "E260701120000", "01234");
  const auto ps = simtest::parse_frame(s.frame());
  ASSERT_EQ(ps.groups.size(), 3u);
  EXPECT_TRUE(ps.standard);
  EXPECT_TRUE(ps.groups[0].checksum_ok);
  EXPECT_FALSE(ps.groups[1].checksum_ok);
  EXPECT_TRUE(ps.groups[2].checksum_ok);
  EXPECT_EQ(ps.groups[2].date, "E260701120000");
  EXPECT_EQ(ps.groups[2].value, "01234");
  s.clear();
  EXPECT_EQ(s.frame(), std::string({kStx, kEtx}));
}
