#include "acquisition/tic_text.h"

#include <gtest/gtest.h>

#include <string>

namespace vireluz {
namespace {

TEST(TicChecksum, HistoricAndStandardExamples) {
  EXPECT_EQ(tic_checksum("ISOUSC 30"), '9');
  EXPECT_EQ(tic_checksum("VTIC\t02\t"), 'J');
  EXPECT_EQ(tic_checksum(""), ' ');
  // Bytes above 0x7F are summed unsigned.
  EXPECT_EQ(tic_checksum("\xff"), static_cast<char>((0xFF & 0x3F) + 0x20));
}

TEST(TicText, WordAtATimeHelpersAgreeWithTheBytewiseRuleAtEveryLength) {
  // Lengths across the 8-byte words and the lane fold of the checksum (every
  // 512 bytes), with bytes high enough that an unfolded lane would overflow.
  std::string s;
  unsigned sum = 0;
  for (std::size_t n = 0; n <= 1100; ++n) {
    ASSERT_EQ(tic_checksum(s), static_cast<char>((sum & 0x3Fu) + 0x20u)) << n;
    const auto c = static_cast<unsigned char>(0xF7u + n * 37u);
    s.push_back(static_cast<char>(c));
    sum += c;
  }
  for (std::size_t n = 1; n <= 24; ++n) {
    const std::string nines(n, '9');
    EXPECT_TRUE(all_digits(nines)) << n;
    for (std::size_t at = 0; at < n; ++at) {
      for (const char bad : {'/', ':', ' ', '\0', '\xfa', '\xff'}) {
        std::string t = nines;
        t[at] = bad;
        EXPECT_FALSE(all_digits(t)) << n << " " << at;
      }
    }
  }
  EXPECT_EQ(parse_digits("2147483647"), 2147483647);
  EXPECT_EQ(parse_digits("0000000000002147483647"), 2147483647);
  EXPECT_FALSE(parse_digits("2147483648"));
  EXPECT_FALSE(parse_digits("21474836470"));
  // put_text: in place (shorter, longer), beyond the capacity, from itself.
  Text t = "abc";
  put_text(t, "0123456789", " kWh");
  EXPECT_EQ(t, "0123456789 kWh");
  put_text(t, "7");
  EXPECT_EQ(t, "7");
  put_text(t, std::string(40, 'x'), "!");
  EXPECT_EQ(t, std::string(40, 'x') + "!");
  t = "a text long enough to live on the heap";
  put_text(t, std::string_view(t).substr(7, 4));
  EXPECT_EQ(t, "long");
}

TEST(IndexDeListe, ExactComparisonOnly) {
  EXPECT_EQ(index_de_liste("BAS", {"HC.", "BAS", "EJP", "BBR"}), 1);
  EXPECT_EQ(index_de_liste("bas", {"HC.", "BAS"}), -1);
  EXPECT_EQ(index_de_liste("BA", {"HC.", "BAS"}), -1);
  EXPECT_EQ(index_de_liste("BAS ", {"HC.", "BAS"}), -1);
  EXPECT_EQ(index_de_liste("X", {"X", "X"}), 0);
  EXPECT_EQ(index_de_liste("", {}), -1);
}

TEST(SupprimeZero, DigitsAsText) {
  EXPECT_EQ(supprime_zero("012"), "12");
  EXPECT_EQ(supprime_zero("000"), "0");
  EXPECT_EQ(supprime_zero("5"), "5");
  EXPECT_EQ(supprime_zero("-007"), "-7");
  EXPECT_EQ(supprime_zero("+007"), "7");
  EXPECT_EQ(supprime_zero("-000"), "0");
  // Far beyond any integer type: still exact.
  EXPECT_EQ(supprime_zero("000123456789012345678901234567890"), "123456789012345678901234567890");
  for (const char* bad : {"", "-", "12a", " 12", "12 ", "1.5", "0x10", "--1"})
    EXPECT_EQ(supprime_zero(bad), "0") << bad;
}

TEST(KwhText, ExactThreeDecimals) {
  std::string out = "kept";
  ASSERT_TRUE(kwh_text_into("012345678", ',', out));
  EXPECT_EQ(out, "12345,678");
  ASSERT_TRUE(kwh_text_into("000012345", ',', out));
  EXPECT_EQ(out, "12,345");
  ASSERT_TRUE(kwh_text_into("5", '.', out));
  EXPECT_EQ(out, "0.005");
  ASSERT_TRUE(kwh_text_into("000000000", ',', out));
  EXPECT_EQ(out, "0,000");
  ASSERT_TRUE(kwh_text_into("99999999999999999999123", ',', out));
  EXPECT_EQ(out, "99999999999999999999,123");
  out = "kept";
  EXPECT_FALSE(kwh_text_into("0123A5678", ',', out));
  EXPECT_FALSE(kwh_text_into("", ',', out));
  EXPECT_EQ(out, "kept");
}

TEST(NumberParsing, DigitsAndHex) {
  EXPECT_EQ(parse_digits("00740"), 740);
  EXPECT_FALSE(parse_digits("-1"));
  EXPECT_FALSE(parse_digits("99999999999"));
  EXPECT_FALSE(parse_digits(""));
  EXPECT_EQ(parse_hex32("003AC701"), 0x003AC701u);
  EXPECT_EQ(parse_hex32("ffFFffFF"), 0xFFFFFFFFu);
  EXPECT_FALSE(parse_hex32("123456789"));
  EXPECT_FALSE(parse_hex32("12G4"));
  EXPECT_FALSE(parse_hex32(""));
}

TEST(SplitFields, ColonsAndBlanks) {
  auto fields = [](std::string_view v) {
    const FieldSplit f = split_fields(v);
    std::vector<std::string> r;
    for (std::size_t i = 0; i < f.count; ++i) r.emplace_back(f[i]);
    return r;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(fields("12:30:45:0100:21::00000550"), (V{"12", "30", "45", "0100", "21", "", "00000550"}));
  EXPECT_EQ(fields("000123:45:6:0              "), (V{"000123", "45", "6", "0"}));
  EXPECT_EQ(fields("  a : b  c:"), (V{"a", "b", "c", ""}));
  EXPECT_EQ(fields("a:  :b"), (V{"a", "", "b"}));
  EXPECT_EQ(fields("a: "), (V{"a"}));
  EXPECT_EQ(fields(""), V{});
  EXPECT_EQ(fields(":"), (V{"", ""}));
  // More fields than kept: counted, the extra ones read as empty.
  const FieldSplit many = split_fields("1:2:3:4:5:6:7:8:9:10:11:12:13:14:15:16:17:18");
  EXPECT_EQ(many.count, 18u);
  EXPECT_EQ(many[17], "");
}

}  // namespace
}  // namespace vireluz
