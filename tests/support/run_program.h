#pragma once

// Runs a program to its end, as a user would from a shell, and collects what it printed.

#include <string>
#include <vector>

namespace nandell::test_support {

/// How a program ended and what it wrote.
struct ProgramRun {
  int exit_code = -1;  ///< Its exit code; -1 when it could not be started or did not exit.
  std::string out;     ///< Standard output, byte for byte.
  std::string err;     ///< Standard error, byte for byte.
};

/// Where and how the program starts.
struct ProgramStart {
  std::string dir;               ///< Working folder; empty for the current one.
  std::vector<std::string> env;  ///< "NAME=value" entries over the inherited environment.
#ifndef _WIN32
  bool as_nobody = false;  ///< Drop to the unprivileged uid and gid 65534 first (as root).
#endif
};

/// Runs `args` (the program's path first; each argument reaches it unchanged) with standard
/// input empty, waits for it and returns its exit code and outputs.
ProgramRun RunToEnd(const std::vector<std::string>& args, const ProgramStart& start = {});

/// Sets (or, with an empty `value`, removes) an environment variable of this process.
void SetEnvironment(const std::string& name, const std::string& value);

}  // namespace nandell::test_support
