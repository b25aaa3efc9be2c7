#include <cstdio>

#include "commands.h"

namespace vireluz::tic {
int cmd_decode(int, char**) {
  std::fputs("vireluz-tic decode: not available yet\n", stderr);
  return 2;
}
}  // namespace vireluz::tic
