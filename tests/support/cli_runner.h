// Runs the built `tarnscan` command as a user would, for the tests that
// check whole reports, messages and exit codes.
#pragma once

#include <string>

namespace tarnscan::testing {

struct CliOutcome {
  int exit_code = -1;
  std::string output;  // stdout and stderr
};

// `arguments` are shell words, quoted by the caller where needed.
CliOutcome RunCli(const std::string& arguments);

}  // namespace tarnscan::testing
