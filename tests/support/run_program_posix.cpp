#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/run_program.h"
#include "tests/support/temp_tree.h"

namespace nandell::test_support {

ProgramRun RunToEnd(const std::vector<std::string>& args, const ProgramStart& start) {
  ProgramRun run;
  testing::TempDir outputs;
  const std::string out_path = outputs / "out";
  const std::string err_path = outputs / "err";
  std::vector<std::string> argv_text = args;
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);
  if (args.empty() || outputs.path().empty()) return run;
  const pid_t pid = ::fork();
  if (pid < 0) return run;
  if (pid == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) ::_exit(126);
    ::dup2(in, STDIN_FILENO);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    if (!start.dir.empty() && ::chdir(start.dir.c_str()) != 0) ::_exit(126);
    for (const std::string& pair : start.env) {
      const std::size_t equals = pair.find('=');
      ::setenv(pair.substr(0, equals).c_str(), pair.substr(equals + 1).c_str(), 1);
    }
    if (start.as_nobody && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(126);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  testing::ReadFile(out_path, &run.out);
  testing::ReadFile(err_path, &run.err);
  return run;
}

void SetEnvironment(const std::string& name, const std::string& value) {
  if (value.empty()) {
    ::unsetenv(name.c_str());
  } else {
    ::setenv(name.c_str(), value.c_str(), 1);
  }
}

}  // namespace nandell::test_support
