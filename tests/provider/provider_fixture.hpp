#pragma once

// A principal talking to a scripted companion app, and completions that
// record what they were handed and how often.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "extension/provider/ostrel_file_provider.hpp"
#include "platform/fileprovider/replicated_extension.hpp"
#include "platform/log.hpp"
#include "tests/support/log_capture.hpp"
#include "tests/support/test_companion.hpp"

namespace ostrel::testing {

namespace fp = platform::fileprovider;

inline const std::string enumeratePath = "/vault/finder/enumerate";
inline const std::string contentPath = "/vault/finder/content";
inline const std::string reparentPath = "/vault/finder/reparent";
inline const std::string ingestPath = "/vault/finder/ingest";

inline nlohmann::json record(const std::string& id, const std::string& residency,
                             std::optional<std::string> folder = std::nullopt, const std::string& filename = "f.txt") {
  nlohmann::json file = {{"id", id},           {"filename", filename},       {"size", 5},
                         {"modifiedAt", 10.5}, {"residency", residency},     {"materialized", true}};
  if (folder) file["folder"] = *folder;
  return file;
}

inline ScriptedReply listing(const std::vector<nlohmann::json>& files) {
  return ScriptedReply{.body = nlohmann::json{{"ok", true}, {"files", files}}.dump()};
}

inline ScriptedReply failure(int status, std::string body) {
  return ScriptedReply{.status = status, .body = std::move(body), .contentType = "text/plain"};
}

// TMPDIR pointed at a fresh folder while the object lives, so a test sees
// exactly the files the extension left behind.
class ScopedTmpdir {
 public:
  ScopedTmpdir() {
    if (const char* old = std::getenv("TMPDIR")) previous_ = old;
    std::string pattern = (std::filesystem::temp_directory_path() / "ostrel-tmp-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    ::setenv("TMPDIR", path_.c_str(), 1);
  }
  ~ScopedTmpdir() {
    if (previous_) ::setenv("TMPDIR", previous_->c_str(), 1); else ::unsetenv("TMPDIR");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }
  std::vector<std::filesystem::path> files() const {
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) found.push_back(entry.path());
    return found;
  }

 private:
  std::filesystem::path path_;
  std::optional<std::string> previous_;
};


struct ItemResult {
  int calls = 0;
  fp::ItemPtr item;
  std::optional<fp::Error> error;
};

struct FetchResult {
  int calls = 0;
  std::optional<std::filesystem::path> url;
  fp::ItemPtr item;
  std::optional<fp::Error> error;
};

struct ChangeResult {
  int calls = 0;
  fp::ItemPtr item;
  fp::ItemFields pending;
  bool shouldFetch = false;
  std::optional<fp::Error> error;
};

// A template or proposed item as a host would pass it.
class HostItem final : public fp::Item {
 public:
  HostItem(std::string id, std::string parent, std::string name, std::optional<std::string> type = std::nullopt)
      : id_(std::move(id)), parent_(std::move(parent)), name_(std::move(name)), type_(std::move(type)) {}
  fp::ItemIdentifier itemIdentifier() const override { return id_; }
  fp::ItemIdentifier parentItemIdentifier() const override { return parent_; }
  std::string filename() const override { return name_; }
  std::optional<fp::ContentType> contentType() const override { return type_; }

 private:
  std::string id_, parent_, name_;
  std::optional<std::string> type_;
};

// One companion per test process, never destroyed: the bridge keeps its
// connections alive in a process-wide pool, and a server shutting down
// waits out its keep-alive timeout for each of them.
inline TestCompanion& sharedCompanion() {
  static TestCompanion* companion = new TestCompanion();
  return *companion;
}

class ProviderTest : public ::testing::Test {
 protected:
  ProviderTest() {
    for (const auto& path : {enumeratePath, contentPath, reparentPath, ingestPath}) {
      companion.script(path, failure(404, "no script for " + path));
    }
    companion.clearRecords();
    home.write(companion.port());
  }

  // Replies queued with once() must all be used, or they would leak into
  // the next test on the shared companion.
  void once(const std::string& path, ScriptedReply reply) {
    ++queued_[path];
    companion.scriptOnce(path, std::move(reply));
  }
  void TearDown() override {
    std::map<std::string, std::size_t> used;
    for (const auto& request : companion.requests()) ++used[request.path];
    for (const auto& [path, count] : queued_) {
      EXPECT_GE(used[path], count) << "scripted replies for " << path << " left unused";
    }
  }

  ItemResult lookUp(const std::string& id) {
    ItemResult result;
    provider.item(id, {}, [&](fp::ItemPtr item, std::optional<fp::Error> error) {
      ++result.calls;
      result.item = std::move(item);
      result.error = std::move(error);
    });
    return result;
  }

  FetchResult fetch(const std::string& id) {
    FetchResult result;
    provider.fetchContents(id, std::nullopt, {},
                           [&](std::optional<std::filesystem::path> url, fp::ItemPtr item,
                               std::optional<fp::Error> error) {
                             ++result.calls;
                             result.url = std::move(url);
                             result.item = std::move(item);
                             result.error = std::move(error);
                           });
    return result;
  }

  static auto recordChange(ChangeResult& result) {
    return [&result](fp::ItemPtr item, fp::ItemFields pending, bool shouldFetch, std::optional<fp::Error> error) {
      ++result.calls;
      result.item = std::move(item);
      result.pending = pending;
      result.shouldFetch = shouldFetch;
      result.error = std::move(error);
    };
  }

  ChangeResult create(const HostItem& itemTemplate, std::optional<std::filesystem::path> contents) {
    ChangeResult result;
    provider.createItem(itemTemplate, {}, contents, {}, {}, recordChange(result));
    return result;
  }

  ChangeResult modify(const HostItem& proposed, fp::ItemFields changed) {
    ChangeResult result;
    provider.modifyItem(proposed, {}, changed, std::nullopt, {}, {}, recordChange(result));
    return result;
  }

  std::vector<std::string> requestPaths() const {
    std::vector<std::string> paths;
    for (const auto& request : companion.requests()) paths.push_back(request.path);
    return paths;
  }

  TestCompanion& companion = sharedCompanion();
  std::map<std::string, std::size_t> queued_;
  HandshakeHome home;
  ScopedTmpdir tmpdir;  // after the home, which must not live inside it
  OstrelFileProvider provider{fp::Domain{.identifier = "ostrel", .displayName = "Ostrel"},
                              BridgeSettings{.requestTimeout = 5, .streamingTimeout = 5, .grace = 1}};
};

}  // namespace ostrel::testing
