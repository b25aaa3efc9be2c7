#include <cstdio>

#include "commands.h"

namespace vireluz::tic {
int cmd_simulate(int, char**) {
  std::fputs("vireluz-tic simulate: not available yet\n", stderr);
  return 2;
}
}  // namespace vireluz::tic
