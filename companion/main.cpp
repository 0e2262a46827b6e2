#include <iostream>
#include <string>
#include <variant>
#include <vector>

#include "companion/app.hpp"

int main(int argc, char** argv) {
  using namespace ostrel::companion;
  auto parsed = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (auto* error = std::get_if<std::string>(&parsed)) {
    std::cerr << "ostrel-companion: " << *error << "\n" << usageText();
    return exitUsage;
  }
  auto& command = std::get<Command>(parsed);
  if (auto* serve = std::get_if<ServeOptions>(&command)) return runServe(*serve);
  if (auto* add = std::get_if<AddOptions>(&command)) return runAdd(*add);
  std::cout << usageText();
  return 0;
}
