#pragma once

// `ostrel-fphost serve`: mounts the registered domains, answers the control
// socket, and unmounts everything on SIGINT or SIGTERM.

#include <chrono>
#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <variant>

#include "host/serve/serve_loop_domains.hpp"

namespace ostrel::host {

// Exit statuses of serve beyond those of host/exit_status.hpp (sysexits.h values).
inline constexpr int exitServeFailed = 71;     // could not set up: socket, signals, state file
inline constexpr int exitAlreadyServing = 75;  // another serve already listens on the socket

struct ServeOptions {
  std::filesystem::path mountRoot{};  // empty: $HOME/CloudStorage
  std::chrono::milliseconds changeInterval{2000};
};

// The options, or the usage error to print.
std::variant<ServeOptions, std::string> parseServeOptions(std::span<const std::string> words);

inline constexpr const char* serveSynopsis =
    "  ostrel-fphost serve [--mount-root DIR] [--change-interval MS] [--foreground]\n";

// Runs until SIGINT or SIGTERM; returns the exit status. `factory` makes the
// mount of one domain.
int runServe(std::span<const std::string> words, const MountFactory& factory, std::ostream& err);

}  // namespace ostrel::host
