// Skipping, frame kinds, identification phase, counters and the alert hook.
#include <gtest/gtest.h>

#include <stdexcept>

#include "support/tic_builder.h"

namespace vireluz::testing {
namespace {

std::string base_frame(std::string_view isousc = "30") {
  return packet({hgroup("ADCO", "012345678910"), hgroup("OPTARIF", "BASE"), hgroup("ISOUSC", isousc),
                 hgroup("BASE", "012345678"), hgroup("PTEC", "TH.."), hgroup("IINST", "005"),
                 hgroup("IMAX", "045"), hgroup("PAPP", "01150")});
}

TEST(Skipping, UsbDropsOnePacketXbeeTwo) {
  Bench usb(1, 1);
  usb.feed(base_frame());
  EXPECT_EQ(usb.counters.PacketCount, 1);
  EXPECT_EQ(usb.text(FieldId::Edit_ADCO1), "");
  EXPECT_EQ(usb.meters[0].frame_count, 0);
  usb.feed(base_frame());
  EXPECT_EQ(usb.counters.PacketCount, 2);
  EXPECT_EQ(usb.text(FieldId::Edit_ADCO1), "012345678910");
  EXPECT_EQ(usb.meters[0].frame_count, 1);

  Bench xbee(2, 2);
  xbee.feed(base_frame());
  xbee.feed(base_frame());
  EXPECT_EQ(xbee.text(FieldId::Edit_ADCO2), "");
  EXPECT_EQ(xbee.counters.PacketCount, 2);
  xbee.feed(base_frame());
  EXPECT_EQ(xbee.text(FieldId::Edit_ADCO2), "012345678910");
  EXPECT_EQ(xbee.meters[1].frame_count, 1);
  EXPECT_EQ(xbee.meters[0].frame_count, 0);
}

TEST(FrameKind, FirstKnownTextDecides) {
  // ADCO and ADSC in one packet: historic (the ADSC group is not read).
  Bench b;
  b.feed(packet({sgroup("ADSC", "999999999999"), sgroup("VTIC", "02"), hgroup("ADCO", "012345678910"),
                 hgroup("OPTARIF", "BASE")}));
  EXPECT_EQ(b.meters[0].ADCO, "012345678910");
  EXPECT_EQ(b.meters[0].tariff_kind, TariffKind::BASE);
  EXPECT_EQ(b.meters[0].VTIC, 0);
}

TEST(FrameKind, ContratAndNoneOnlyCount) {
  Bench b;
  const MainWindowState before = b.window;
  b.feed(packet({hgroup("CONTRAT", "BT4SUP36"), hgroup("DATECOUR", "12 03 24 10 00")}));
  b.feed("\nHELLO 1 2\r\nnothing known");
  b.feed("");
  EXPECT_EQ(b.counters.PacketCount, 3);
  EXPECT_EQ(b.meters[0].frame_count, 3);
  for (std::size_t i = 0; i < kFieldCount; ++i) EXPECT_EQ(b.window.fields[i].text, before.fields[i].text);
  EXPECT_EQ(b.measures.v, MeasureTable{}.v);
}

TEST(Identification, ChecksumOfIsouscDecides) {
  Bench b;
  b.feed(base_frame());
  EXPECT_EQ(b.text(FieldId::Edit_ISOUSC), "30 A");
  // ISOUSC 45 with the checksum of 30 ('9' is right for 30 only).
  std::string bad = base_frame("45");
  const std::size_t at = bad.find("ISOUSC 45 ") + 10;
  bad[at] = '9';
  b.start_reading(1);
  b.feed(bad);
  EXPECT_EQ(b.text(FieldId::Edit_ISOUSC), "30 A");
  EXPECT_EQ(b.meters[0].ISOUSC, "30");
}

TEST(Identification, OnlyDuringTheFirstTwoFrames) {
  Bench b;
  std::string corrupted = base_frame();
  corrupted[corrupted.find("OPTARIF BASE ") + 13] ^= 1;  // wrong OPTARIF checksum
  b.feed(corrupted);
  b.feed(corrupted);
  b.feed(base_frame());  // third frame: its OPTARIF is not read any more
  EXPECT_FALSE(b.meters[0].identified);
  EXPECT_EQ(b.text(FieldId::Edit_ADCO1), "012345678910");
  EXPECT_EQ(b.text(FieldId::Edit_ISOUSC), "30 A");
  EXPECT_EQ(b.text(FieldId::Edit_index1), "");
  EXPECT_EQ(b.text(FieldId::Edit_papp1), "");
  EXPECT_EQ(b.text(FieldId::Edit_i_inst1), "");
  // A new start of reading gives a new identification phase.
  b.start_reading(1);
  b.feed(base_frame());
  EXPECT_TRUE(b.meters[0].identified);
  EXPECT_EQ(b.text(FieldId::Edit_index1), "12345,678 kWh");
  // Identification survives a restart whose frames are corrupted.
  b.start_reading(1);
  b.feed(corrupted);
  EXPECT_TRUE(b.meters[0].identified);
}

TEST(Identification, ActiveMeterZeroDecodesNothing) {
  Bench b(0);
  b.feed(base_frame());
  EXPECT_FALSE(b.meters[0].identified);
  EXPECT_FALSE(b.meters[1].identified);
  EXPECT_EQ(b.meters[0].frame_count, 0);
  EXPECT_EQ(b.meters[1].frame_count, 0);
  EXPECT_EQ(b.counters.PacketCount, 1);
}

TEST(Counters, WrapAtOneMillion) {
  Bench b;
  b.counters.PacketCount = 999999;
  b.meters[0].frame_count = 1000000;
  b.feed(base_frame());
  EXPECT_EQ(b.counters.PacketCount, 2);
  EXPECT_EQ(b.meters[0].frame_count, 2);
  b.feed(base_frame());
  EXPECT_EQ(b.counters.PacketCount, 3);
  EXPECT_EQ(b.meters[0].frame_count, 3);
}

TEST(AlertHook, RunsWhenActiveAndTableFilledAndCanAbortCounters) {
  Bench b;
  int calls = 0;
  int papp_seen = -1;
  b.decoder.mail_alerte = [&] {
    ++calls;
    papp_seen = b.measure(MeasureKind::PAPP, 1);
  };
  b.feed(base_frame());
  EXPECT_EQ(calls, 0);  // alerts off
  b.settings.mail.ACTIF = 1;
  b.feed(base_frame());
  EXPECT_EQ(calls, 0);  // empty table
  b.settings.mail.TABLEAU_VIDE = "NON";
  b.feed(base_frame());
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(papp_seen, 1150);  // the values of this packet are already there
  EXPECT_EQ(b.counters.PacketCount, 3);

  b.decoder.mail_alerte = [] { throw std::runtime_error("smtp down"); };
  EXPECT_THROW(b.feed(base_frame()), std::runtime_error);
  EXPECT_EQ(b.counters.PacketCount, 3);
  EXPECT_EQ(b.meters[0].frame_count, 3);
}

TEST(NotActivated, AddressRepeatedWhereTheOptionShouldBe) {
  // A meter without TIC output repeats its address; the OPTARIF "value" then
  // holds address characters 2 to 7 from 8 places after the label.
  for (int meter : {1, 2}) {
    Bench b(meter);
    b.meters[static_cast<std::size_t>(meter - 1)].identified = true;
    b.feed(packet({hgroup("ADCO", "012345678910"), "\nOPTARIF 123456 z\r"}));
    EXPECT_FALSE(b.meters[static_cast<std::size_t>(meter - 1)].identified);
    ASSERT_EQ(b.messages.no_tic.size(), 1u);
    EXPECT_EQ(b.messages.no_tic[0],
              w("Vireluz compteur " + std::to_string(meter) + " non activée, contactez ERDF !"));
  }
  Bench s(2);
  s.feed(packet({sgroup("ADSC", "064468368739"), "\nNGTF\t   644683\tz\r"}));
  ASSERT_EQ(s.messages.no_tic.size(), 1u);
  EXPECT_EQ(
      s.messages.no_tic[0],
      w("Vireluz compteur 2 non activée (testez en inversant les fils de Vireluz), contactez ENEDIF !"));
  // A bad checksum alone shows nothing.
  Bench other;
  other.meters[0].identified = true;
  other.feed(packet({hgroup("ADCO", "012345678910"), "\nOPTARIF BASE Z\r"}));
  EXPECT_TRUE(other.meters[0].identified);
  EXPECT_TRUE(other.messages.no_tic.empty());
}

}  // namespace
}  // namespace vireluz::testing
