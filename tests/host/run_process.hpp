#pragma once

#include <string>
#include <vector>

namespace ostrel::testing {

struct ProcessResult {
  int exitStatus = -1;  // -1 when the process did not exit normally
  std::string out;
  std::string err;
};

// Runs `program` with `args`, the environment of this process and `input`
// on its standard input, and collects both outputs until it exits.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = {});

}  // namespace ostrel::testing
