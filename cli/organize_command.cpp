#include <cstdio>

#include "cli/commands.h"

namespace nandell::cli {
int RunOrganize(int, char**) {
  std::fputs("nandell-cli organize: not built yet\n", stderr);
  return 2;
}
}  // namespace nandell::cli
