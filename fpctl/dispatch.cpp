#include "fpctl/commands.hpp"

#include <algorithm>

namespace ostrel::fpctl {

Output dispatch(const std::vector<std::string>& args, const Context& context) {
  if (args.size() < 2) {
    return {{{"ok", false}, {"error", "usage: ostrel-fpctl <register|unregister|status|signal>"}},
            64};
  }
  const std::string& command = args[1];
  if (command == "register") return cmdRegister(context);
  if (command == "unregister") {
    bool keepDirtyOnly = std::find(args.begin() + 2, args.end(), "--keep=dirty") != args.end();
    return cmdUnregister(context, keepDirtyOnly);
  }
  if (command == "status") return cmdStatus(context);
  if (command == "signal") return cmdSignal(context);
  return {{{"ok", false}, {"error", "unknown command '" + command + "'"}}, 64};
}

std::string didNotAnswerWithin(Seconds timeout) {
  return "the system did not answer within " +
         std::to_string(static_cast<long long>(timeout.count())) + "s";
}

Output failure(std::string code, std::string error, int exit) {
  return {{{"ok", false}, {"code", std::move(code)}, {"error", std::move(error)}}, exit};
}

}  // namespace ostrel::fpctl
