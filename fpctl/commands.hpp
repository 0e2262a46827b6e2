#pragma once

#include <string>
#include <vector>

#include "fpctl/context.hpp"
#include "fpctl/output.hpp"

namespace ostrel::fpctl {

// Each command computes the one output of its run; main hands it to emit.
Output cmdRegister(const Context& context);
Output cmdUnregister(const Context& context, bool keepDirtyOnly);
Output cmdStatus(const Context& context);
Output cmdSignal(const Context& context);

// args as the process got them, the program path first.
Output dispatch(const std::vector<std::string>& args, const Context& context);

// "the system did not answer within 25s" for a wait of 25 seconds.
std::string didNotAnswerWithin(Seconds timeout);

// An output for a failed command: "ok" false, its code and its sentence.
Output failure(std::string code, std::string error, int exit);

}  // namespace ostrel::fpctl
