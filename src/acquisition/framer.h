#pragma once
// The packet framer attached to the serial port (the component ComDataPacket1):
// cuts the received byte stream into packets between a start string and a stop
// string (STX and CR ETX for a TIC frame) and hands each packet, without its
// start and stop strings, to on_packet.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vireluz {

class ComDataPacket1 {
 public:
  // A buffer holding this many characters or more after a block has been
  // handled is emptied (a packet that never closes).
  static constexpr std::size_t kMaxBuffer = 2048;

  ComDataPacket1();

  // Changing a string empties the buffer and closes any open packet; setting
  // the same string again keeps both.
  void set_start_string(std::string_view s);
  void set_stop_string(std::string_view s);
  const std::string& start_string() const { return start_; }
  const std::string& stop_string() const { return stop_; }

  // One block of received bytes. Calls on_packet once per complete packet, in
  // arrival order. The view passed to on_packet is valid during the call only.
  void handle_data(std::string_view block);

  bool packet_open() const { return open_; }
  std::size_t buffered() const { return buf_.size() - head_; }
  void clear();

  std::function<void(std::string_view)> on_packet;

 private:
  static char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
  static bool has_letter(std::string_view s);
  // Position of `needle` in the buffer at or after `from`, compared in upper
  // case; npos when absent. `caseless` tells that the needle holds a letter:
  // without one, upper-case comparison is plain byte comparison and the
  // search looks for the needle's last byte many bytes at a time.
  std::size_t find(std::string_view needle, bool caseless, std::size_t from) const;
  void compact();

  std::string start_;
  std::string stop_;
  bool start_caseless_ = false;
  bool stop_caseless_ = false;
  std::string buf_;
  std::size_t head_ = 0;       // first live character of buf_
  std::size_t scan_from_ = 0;  // stop-string search resumes here (absolute in buf_)
  bool open_ = false;
  std::uint64_t generation_ = 0;  // bumped by clear(), so a handler that resets us stops the loop
};

}  // namespace vireluz
