#pragma once

namespace nandell::cli {

/// `nandell-cli date FILE...`: prints "path<TAB>CaptureDate" per file. Returns the exit code.
int RunDate(int argc, char** argv);

/// `nandell-cli organize ...`: one organizing run from the command line. Returns the exit code.
int RunOrganize(int argc, char** argv);

}  // namespace nandell::cli
