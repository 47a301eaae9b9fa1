#pragma once

#include "cli/usage.h"

namespace nandell::cli {

/// `nandell-cli date FILE...`: prints "path<TAB>CaptureDate" per file. Returns the exit code.
int RunDate(const Arguments& args);

/// `nandell-cli organize ...`: one organizing run from the command line. Returns the exit code.
int RunOrganize(const Arguments& args);

}  // namespace nandell::cli
