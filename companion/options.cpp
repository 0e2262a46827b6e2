#include "companion/options.hpp"

#include <charconv>
#include <cstdlib>

#include "companion/seed.hpp"
#include "platform/app_group.hpp"

namespace ostrel::companion {
namespace {

struct Cursor {
  const std::vector<std::string>& args;
  std::size_t next = 0;

  bool done() const { return next >= args.size(); }
  const std::string& take() { return args[next++]; }
  // The value after an option, or nothing at the end.
  std::optional<std::string> value() {
    if (done()) return std::nullopt;
    return take();
  }
};

std::variant<Command, std::string> parseServe(Cursor cursor) {
  ServeOptions options;
  while (!cursor.done()) {
    const std::string& arg = cursor.take();
    if (arg == "--vault") {
      auto dir = cursor.value();
      if (!dir || dir->empty()) return std::string("--vault needs a folder");
      options.vault = *dir;
    } else if (arg == "--seed") {
      auto sample = cursor.value();
      if (!sample || !isSampleName(*sample)) {
        return std::string("--seed takes \"demo\" or \"bench:FILES:FOLDERS[:RESIDENCY]\"");
      }
      options.seed = *sample;
    } else if (arg == "--stream-ingest") {
      options.settings.streamIngest = true;
    } else if (arg == "--max-file-bytes") {
      auto text = cursor.value();
      std::int64_t bytes = 0;
      if (!text) return std::string("--max-file-bytes needs a number of bytes");
      auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), bytes);
      if (ec != std::errc() || end != text->data() + text->size() || bytes < 0) {
        return "--max-file-bytes takes a whole number of bytes, not \"" + *text + "\"";
      }
      options.settings.maxFileBytes = bytes;
    } else if (arg == "--keep-alive-seconds") {
      auto text = cursor.value();
      int seconds = 0;
      auto [end, ec] = text ? std::from_chars(text->data(), text->data() + text->size(), seconds)
                            : std::from_chars_result{nullptr, std::errc::invalid_argument};
      if (!text || ec != std::errc() || end != text->data() + text->size() || seconds < 1 || seconds > 3600) {
        return std::string("--keep-alive-seconds takes a whole number of seconds from 1 to 3600");
      }
      options.keepAliveSeconds = seconds;
    } else if (arg == "--state") {
      auto text = cursor.value();
      auto state = text ? accountStateFromName(*text) : std::nullopt;
      if (!state) return std::string("--state takes ready, signed-out, not-ready, clearing or stuck");
      options.settings.state = *state;
    } else if (auto state = arg.size() > 2 && arg.rfind("--", 0) == 0 ? accountStateFromName(arg.substr(2))
                                                                       : std::nullopt) {
      options.settings.state = *state;
    } else if (arg == "--test-controls") {
      options.testControls = true;
    } else if (arg == "--help" || arg == "-h") {
      return Command(HelpRequest{});
    } else {
      return "unknown option \"" + arg + "\"";
    }
  }
  return Command(std::move(options));
}

std::variant<Command, std::string> parseAdd(Cursor cursor) {
  AddOptions options;
  while (!cursor.done()) {
    const std::string& arg = cursor.take();
    if (arg == "--vault" || arg == "--residency" || arg == "--folder" || arg == "--name") {
      auto value = cursor.value();
      if (!value) return arg + " needs a value";
      if (arg == "--vault") options.vault = *value;
      if (arg == "--residency") options.residency = *value;
      if (arg == "--folder") options.folder = *value;
      if (arg == "--name") options.name = *value;
    } else if (arg.rfind("--", 0) == 0) {
      return "unknown option \"" + arg + "\"";
    } else if (options.file.empty()) {
      options.file = arg;
    } else {
      return std::string("add takes one file");
    }
  }
  if (options.residency.empty()) return std::string("add needs --residency");
  if (options.file.empty()) return std::string("add needs the file to store");
  return Command(std::move(options));
}

}  // namespace

std::variant<Command, std::string> parseCommandLine(const std::vector<std::string>& args) {
  Cursor cursor{args};
  if (!cursor.done() && args[0] == "add") {
    cursor.take();
    return parseAdd(cursor);
  }
  if (!cursor.done() && (args[0] == "serve")) cursor.take();
  if (!cursor.done() && (args[0] == "help")) return Command(HelpRequest{});
  return parseServe(cursor);
}

std::string usageText() {
  return R"(usage: ostrel-companion [serve] [options]
       ostrel-companion add --residency SLUG [--folder PATH] [--name NAME] [--vault DIR] FILE

serve (the default) keeps the vault and answers the extension on 127.0.0.1:
  --vault DIR            the vault folder (default ${XDG_DATA_HOME:-~/.local/share}/ostrel-companion/vault)
  --seed demo            fill a new, empty vault with a small sample
  --seed bench:FILES:FOLDERS[:RESIDENCY]
                         fill it with FILES empty files over FOLDERS folders,
                         half device-only and half device-and-cloud unless
                         RESIDENCY is given
  --stream-ingest        ask the extension to stream ingested files
  --max-file-bytes N     refuse files above N bytes (0: no limit)
  --state STATE          ready, signed-out, not-ready, clearing or stuck
  --signed-out, --not-ready, --clearing, --stuck   the same, shorter
  --test-controls        serve the /test/ endpoints that change it while it runs
  --keep-alive-seconds N how long an idle connection stays open (default 5);
                         a stop waits for idle connections up to this long
It prints "ready port=N" on standard output once it listens, and stops on
SIGINT or SIGTERM, removing its handshake file.

add stores FILE in the vault and prints {"ok":true,"id":ID}.
)";
}

std::filesystem::path defaultVaultFolder() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
    return std::filesystem::path(xdg) / "ostrel-companion" / "vault";
  }
  return platform::homeFolder() / ".local" / "share" / "ostrel-companion" / "vault";
}

}  // namespace ostrel::companion
