#include "acquisition/framer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vireluz {
namespace {

class FramerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f.set_start_string("\x02");
    f.set_stop_string("\r\x03");
    f.on_packet = [this](std::string_view p) { packets.emplace_back(p); };
  }
  ComDataPacket1 f;
  std::vector<std::string> packets;
};

const std::string kFrame1 = "\x02\nADCO 012345678901 E\r\nISOUSC 30 9\r\x03";
const std::string kFrame2 = "\x02\nADCO 012345678902 F\r\nPAPP 00420 )\r\x03";

TEST_F(FramerTest, PacketsHoldNeitherStxNorFinalCrEtxAndComeInOrder) {
  f.handle_data(kFrame1 + kFrame2);
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0], "\nADCO 012345678901 E\r\nISOUSC 30 9");
  EXPECT_EQ(packets[1], "\nADCO 012345678902 F\r\nPAPP 00420 )");
  EXPECT_FALSE(f.packet_open());
  EXPECT_EQ(f.buffered(), 0u);
}

TEST_F(FramerTest, FrameSplitOverManyBlocksGivesOnePacketAtItsEnd) {
  const std::string all = kFrame1;
  for (std::size_t i = 0; i + 1 < all.size(); ++i) {
    f.handle_data(all.substr(i, 1));
    EXPECT_TRUE(packets.empty()) << i;
  }
  EXPECT_TRUE(f.packet_open());
  f.handle_data(all.substr(all.size() - 1));
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0], kFrame1.substr(1, kFrame1.size() - 3));
}

TEST_F(FramerTest, StopStringSplitBetweenBlocks) {
  f.handle_data(kFrame1.substr(0, kFrame1.size() - 1));  // ends with CR
  EXPECT_TRUE(packets.empty());
  f.handle_data("\x03");
  ASSERT_EQ(packets.size(), 1u);
}

TEST_F(FramerTest, BytesOutsideFramesAreNeverDelivered) {
  f.handle_data("noise before" + kFrame1 + "between\r\x03 frames" + kFrame2 + "tail");
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0].find("noise"), std::string::npos);
  EXPECT_EQ(packets[1].find("between"), std::string::npos);
  EXPECT_EQ(packets[1].find("frames"), std::string::npos);
  EXPECT_FALSE(f.packet_open());
  EXPECT_EQ(f.buffered(), 0u);  // noise without STX is dropped as it arrives
}

TEST_F(FramerTest, FrameWithLostEndRunsToTheNextCrEtx) {
  f.handle_data("\x02\nADCO 0123");  // cut frame
  f.handle_data(kFrame2);
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0], "\nADCO 0123" + kFrame2.substr(0, kFrame2.size() - 2));
}

TEST_F(FramerTest, BufferEmptiedWhenAPacketNeverCloses) {
  f.handle_data("\x02" + std::string(2046, 'x'));  // 2047 held
  EXPECT_TRUE(f.packet_open());
  EXPECT_EQ(f.buffered(), 2047u);
  f.handle_data("y");  // 2048: emptied
  EXPECT_FALSE(f.packet_open());
  EXPECT_EQ(f.buffered(), 0u);
  f.handle_data(kFrame1);
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0][0], '\n');
}

TEST_F(FramerTest, CompleteFramesInALargeBlockAreDeliveredBeforeTheLimit) {
  std::string block;
  for (int i = 0; i < 60; ++i) block += kFrame1;  // well over 2048 characters
  f.handle_data(block);
  EXPECT_EQ(packets.size(), 60u);
}

TEST_F(FramerTest, ChangingStringsEmptiesTheBufferSameStringsKeepIt) {
  f.handle_data(kFrame1.substr(0, 10));
  f.set_start_string("\x02");
  f.set_stop_string("\r\x03");
  EXPECT_TRUE(f.packet_open());
  EXPECT_EQ(f.buffered(), 10u);
  f.set_stop_string("\x03");
  EXPECT_FALSE(f.packet_open());
  EXPECT_EQ(f.buffered(), 0u);
}

TEST_F(FramerTest, ComparisonIgnoresLetterCaseButNotControlCharacters) {
  f.set_start_string("<s>");
  f.set_stop_string("</S>");
  f.handle_data("<S>abc</s><s>def</S>");
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0], "abc");  // the text itself keeps its case
  EXPECT_EQ(packets[1], "def");
  packets.clear();
  f.set_start_string("\x02");
  f.set_stop_string("\r\x03");
  f.handle_data("\x22x\r\x23");  // 0x22/0x23 are not STX/ETX in another case
  EXPECT_TRUE(packets.empty());
}

TEST_F(FramerTest, MultiCharacterStartSplitAcrossBlocks) {
  f.set_start_string("<s>");
  f.set_stop_string("</s>");
  f.handle_data("zz<");
  f.handle_data("s>abc</");
  f.handle_data("s>");
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0], "abc");
}

TEST_F(FramerTest, HandlerThatResetsTheFramerStopsTheLoop) {
  f.on_packet = [this](std::string_view p) {
    packets.emplace_back(p);
    f.set_stop_string("\x03");
  };
  f.handle_data(kFrame1 + kFrame2);
  EXPECT_EQ(packets.size(), 1u);
  EXPECT_EQ(f.buffered(), 0u);
}

TEST_F(FramerTest, TheBlockSizeChangesNothing) {
  // Lone ETX and lone CR inside packets, an STX inside a packet, noise between
  // frames, a frame longer than 64 bytes: cut at every block size, the same
  // packets come out as from the whole stream at once.
  const std::string stream = "ab\x03\r" + kFrame1 + "\x02x\x03y\rz\r\x03zz\x02" + std::string(150, 'L') +
                             "\r\r\x03" + kFrame2 + "\x02\x02\r\r\x03\x02tail";
  f.handle_data(stream);
  const std::vector<std::string> whole = packets;
  ASSERT_EQ(whole.size(), 5u);
  EXPECT_EQ(whole[1], "x\x03y\rz");
  for (std::size_t block = 1; block <= 70; ++block) {
    ComDataPacket1 g;
    g.set_start_string("\x02");
    g.set_stop_string("\r\x03");
    std::vector<std::string> got;
    g.on_packet = [&got](std::string_view p) { got.emplace_back(p); };
    for (std::size_t i = 0; i < stream.size(); i += block)
      g.handle_data(std::string_view(stream).substr(i, block));
    EXPECT_EQ(got, whole) << block;
    EXPECT_TRUE(g.packet_open()) << block;
    EXPECT_EQ(g.buffered(), 5u) << block;
  }
}

TEST_F(FramerTest, AnEmptyPacketIsDelivered) {
  f.handle_data("\x02\r\x03");
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_TRUE(packets[0].empty());
}

}  // namespace
}  // namespace vireluz
