#pragma once
// The user-message port: modal message boxes (OK button) and the non-modal
// "TIC not activated" window. The windowed program shows QMessageBoxes, the
// headless runner prints one line per message on stderr, tests record them.
#include <vector>

#include "common/text.h"

namespace vireluz {

// Caption of the application (task bar and plain message boxes).
inline const Text kAppTitle = w("VIRELUZ 2 Compteurs électrique");

enum class MessageIcon { None, Information, Warning, Error };

struct UserMessage {
  MessageIcon icon = MessageIcon::None;
  Text caption;  // cp1252
  Text text;     // cp1252; lines separated by CR, LF or CR LF
};

class UserMessages {
 public:
  virtual ~UserMessages() = default;
  virtual void show_message(const UserMessage& m) = 0;
  // A message with the warning icon.
  void warn(const Text& caption, const Text& text) { show_message({MessageIcon::Warning, caption, text}); }
  // Shows the no-TIC window with this label text, without blocking.
  virtual void show_no_tic(const Text& label) = 0;
};

// Keeps every message, for tests and the dump of the headless runner.
class RecordingMessages : public UserMessages {
 public:
  void show_message(const UserMessage& m) override { messages.push_back(m); }
  void show_no_tic(const Text& label) override { no_tic.push_back(label); }
  std::vector<UserMessage> messages;
  std::vector<Text> no_tic;
};

}  // namespace vireluz
