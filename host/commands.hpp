#pragma once

namespace ostrel::host {

// Runs the subcommand that argv names and returns the exit status.
int dispatch(int argc, char** argv);

}  // namespace ostrel::host
