#include <cstdio>

#include "cli/commands.h"

namespace nandell::cli {
int RunDate(int, char**) {
  std::fputs("nandell-cli date: not built yet\n", stderr);
  return 2;
}
}  // namespace nandell::cli
