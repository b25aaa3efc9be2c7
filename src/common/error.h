#pragma once
// An error that ends the event or timer tick in progress. The program core
// catches it at the edge of every event and shows its text in a message box
// (the general error display); the program keeps running.
#include <stdexcept>

#include "common/text.h"

namespace vireluz {

class VireluzError : public std::runtime_error {
 public:
  explicit VireluzError(const Text& cp1252_text) : std::runtime_error(cp1252_text) {}
};

}  // namespace vireluz
