#include <cstdio>

#include "commands.h"

namespace vireluz::tic {
int cmd_settings(int, char**) {
  std::fputs("vireluz-tic settings: not available yet\n", stderr);
  return 2;
}
}  // namespace vireluz::tic
