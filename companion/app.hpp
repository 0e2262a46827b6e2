#pragma once

#include "companion/options.hpp"

namespace ostrel::companion {

// Serves until SIGINT or SIGTERM; the process's exit status.
int runServe(const ServeOptions& options);

// Stores one file in the vault; the process's exit status.
int runAdd(const AddOptions& options);

}  // namespace ostrel::companion
