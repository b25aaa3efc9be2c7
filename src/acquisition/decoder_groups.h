#pragma once
// Where the groups of one packet start. One pass over the packet notes, for
// every label the decoders read, the position of the first group that carries
// it: a group starts after an LF, and its label runs up to the first space or
// tab. A label is therefore never found inside another group's value, nor as
// the beginning of a longer label (IINST in IINST1, SINSTS in SINSTS1), and
// groups with a time stamp (DATE, SMAXSN, CCASN, UMOY1) cannot disturb it.
// The readers then take the value and checksum of a group at its fixed offsets
// (historic and JAUNE frames) or between its tabs and CR (standard frames),
// and refuse a group whose bytes do not all lie inside the packet.
//
// The pass marks every LF of the packet in a bit map, 16 bytes at a time, and
// walks the groups from it. A second pass, made only for a packet that asks
// (a standard frame, or any frame without an ADCO group), marks its CRs, so
// that the CR closing a standard group is found without searching the bytes
// again, and notes whether "ADCO" may occur anywhere in the packet.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vireluz {

#define VIRELUZ_TIC_LABELS(X)                                                                                \
  /* historic */                                                                                             \
  X(ADCO)                                                                                                    \
  X(ISOUSC)                                                                                                  \
  X(OPTARIF)                                                                                                 \
  X(BASE)                                                                                                    \
  X(HCHP) X(HCHC) X(EJPHN) X(EJPHPM) X(PEJP) X(BBRHCJB) X(BBRHPJB) X(BBRHCJW) X(BBRHPJW) X(BBRHCJR)          \
      X(BBRHPJR) X(DEMAIN) X(PTEC) X(IINST) X(IMAX) X(IINST1) X(IINST2) X(IINST3) X(IMAX1) X(IMAX2) X(IMAX3) \
          X(PAPP)       /* yellow meters */                                                                  \
      X(JAUNE) X(ENERG) /* standard */                                                                       \
      X(ADSC) X(VTIC) X(PREF) X(PCOUP) X(NGTF) X(STGE) X(RELAIS) X(LTARF) X(EASF01) X(EASF02) X(EASF03)       \
          X(EASF04) X(EASF05) X(EASF06) X(EAST) X(EASD01) X(EASD02) X(EASD03) X(EASD04) X(EAIT) X(SINSTI)      \
              X(SINST1) X(SINSTS) X(SINSTS1) X(SINSTS2) X(SINSTS3) X(SMAXSN1) X(SMAXSN2) X(SMAXSN3) X(URMS1)   \
                  X(URMS2) X(URMS3) X(IRMS1) X(IRMS2) X(IRMS3)

#define VIRELUZ_LABEL_ITEM(n) n,
enum class Label : std::uint8_t { VIRELUZ_TIC_LABELS(VIRELUZ_LABEL_ITEM) Count };
#undef VIRELUZ_LABEL_ITEM
inline constexpr std::size_t kLabelCount = static_cast<std::size_t>(Label::Count);

std::string_view label_text(Label l);

class GroupIndex {
 public:
  static constexpr std::int32_t kAbsent = -1;

  // Notes the first group of every known label in `packet` (kept by view: the
  // packet must outlive the index's use).
  void scan(std::string_view packet);

  // 0-based position of the label's first character, or kAbsent.
  std::int32_t position(Label l) const { return pos_[static_cast<std::size_t>(l)]; }
  bool has(Label l) const { return position(l) != kAbsent; }
  std::string_view packet() const { return packet_; }

  // Whether the text "ADCO" occurs anywhere in the packet (as a label or not).
  bool contains_adco() const;

  // A historic-style group: the value of `width` bytes one separator after the
  // label. With a checksum, the checksum character sits one separator after the
  // value and covers label, separator and value.
  struct Fixed {
    std::string_view value;
    bool readable = false;  // label present and every byte of the group inside the packet
    bool valid = false;     // readable and the checksum holds (always false without checksum)
  };
  Fixed fixed(Label l, std::size_t width, bool with_checksum) const;

  // A standard-mode group: value from the tab after the label to three bytes
  // before the CR that follows it (the end of the packet stands for the CR that
  // the framer removed from the last group); the checksum covers label, tab,
  // value, tab.
  struct Delimited {
    std::string_view value;
    bool readable = false;
    bool valid = false;
  };
  Delimited delimited(Label l) const;

 private:
  // The CR map and the ADCO hint of the current packet, made at first use.
  void detail() const;
  // Position of the first CR at or after `from`, npos when none.
  std::size_t next_cr(std::size_t from) const;

  std::array<std::int32_t, kLabelCount> pos_{};
  std::string_view packet_;
  // One bit per byte of the packet (bit i % 64 of word i / 64). Their capacity
  // is kept between packets.
  std::vector<std::uint64_t> lf_;
  mutable std::vector<std::uint64_t> cr_;
  mutable bool detailed_ = false;        // cr_ and adco_candidate_ are for this packet
  mutable bool adco_candidate_ = false;  // an 'A' with an 'O' three bytes on was seen
};

}  // namespace vireluz
