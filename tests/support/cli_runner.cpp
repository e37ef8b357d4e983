#include "support/cli_runner.h"

#include <sys/wait.h>

#include <cstdio>

namespace tarnscan::testing {

CliOutcome RunCli(const std::string& arguments) {
  const std::string command = std::string(TARNSCAN_CLI_PATH) + " " + arguments + " 2>&1";
  CliOutcome outcome;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return outcome;
  char buffer[4096];
  while (const size_t n = fread(buffer, 1, sizeof buffer, pipe)) outcome.output.append(buffer, n);
  const int status = pclose(pipe);
  outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

}  // namespace tarnscan::testing
