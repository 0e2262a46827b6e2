#include "extension/items/ostrel_enumerator.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <thread>

#include "extension/bridge/bridge_error.hpp"
#include "platform/crypto.hpp"
#include "platform/log.hpp"
#include "tests/support/log_capture.hpp"
#include "tests/support/test_companion.hpp"

namespace ostrel {
namespace {

namespace fp = platform::fileprovider;
using testing::HandshakeHome;
using testing::LogCapture;
using testing::ScriptedReply;
using testing::TestCompanion;
using Ids = std::vector<std::string>;
using namespace std::chrono_literals;

const std::string root = "NSFileProviderRootContainerItemIdentifier";
const std::string workingSet = "NSFileProviderWorkingSetContainerItemIdentifier";
const std::string trash = "NSFileProviderTrashContainerItemIdentifier";
constexpr const char* enumeratePath = "/vault/finder/enumerate";

class RecordingObserver final : public fp::EnumerationObserver {
 public:
  void didEnumerateItems(std::vector<fp::ItemPtr> items) override { batches.push_back(std::move(items)); }
  void finishEnumeratingUpToPage(std::optional<fp::Page> page) override { pages.push_back(std::move(page)); }
  void finishEnumeratingWithError(fp::Error error) override { errors.push_back(std::move(error)); }

  // The identifiers of the one page of a listing that succeeded.
  Ids ids() const {
    EXPECT_EQ(batches.size(), 1u);
    EXPECT_EQ(pages, std::vector<std::optional<fp::Page>>{std::nullopt});
    EXPECT_TRUE(errors.empty());
    Ids out;
    if (!batches.empty()) {
      for (const auto& item : batches.front()) out.push_back(item->itemIdentifier());
    }
    return out;
  }
  // The one error of a listing that failed.
  fp::Error error() const {
    EXPECT_TRUE(batches.empty());
    EXPECT_TRUE(pages.empty());
    EXPECT_EQ(errors.size(), 1u);
    return errors.empty() ? fp::Error{} : errors.front();
  }

  std::vector<std::vector<fp::ItemPtr>> batches;
  std::vector<std::optional<fp::Page>> pages;
  std::vector<fp::Error> errors;
};

class RecordingChangeObserver final : public fp::ChangeObserver {
 public:
  void finishEnumeratingChangesUpToSyncAnchor(fp::SyncAnchor anchor, bool moreComing) override {
    finishes.emplace_back(std::move(anchor), moreComing);
  }
  void finishEnumeratingWithError(fp::Error error) override { errors.push_back(std::move(error)); }

  std::vector<std::pair<fp::SyncAnchor, bool>> finishes;
  std::vector<fp::Error> errors;
};


VaultFile record(std::string id, std::optional<std::string> folder, std::string residency = "device-only") {
  return VaultFile{id, id + ".txt", 5, 10, std::move(residency), false, std::move(folder)};
}

std::string listingJson(const std::vector<VaultFile>& files) {
  nlohmann::json list = nlohmann::json::array();
  for (const VaultFile& f : files) {
    nlohmann::json entry = {{"id", f.id},         {"filename", f.filename},         {"size", f.size},
                            {"modifiedAt", f.modifiedAt}, {"residency", f.residency}, {"materialized", f.materialized}};
    if (f.folder) entry["folder"] = *f.folder;
    list.push_back(entry);
  }
  return nlohmann::json{{"ok", true}, {"files", list}}.dump();
}

std::string digestOf(std::string_view text) {
  auto digest = platform::sha256(text);
  return std::string(digest.begin(), digest.end());
}

ScriptedReply ok(const std::vector<VaultFile>& files) { return ScriptedReply{.status = 200, .body = listingJson(files)}; }
ScriptedReply failing(int status, std::string body) {
  return ScriptedReply{.status = status, .body = std::move(body), .contentType = "text/plain"};
}

class EnumeratorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home.write(companion.port());
    companion.script(enumeratePath, ok({}));
  }

  std::unique_ptr<OstrelEnumerator> enumerator(const std::string& container,
                                               OstrelEnumerator::Clock::duration lifetime = 1h) {
    return std::make_unique<OstrelEnumerator>(container, bridge, lifetime);
  }
  RecordingObserver list(const std::string& container, const fp::Page& page = {}) {
    RecordingObserver observer;
    enumerator(container)->enumerateItems(observer, page);
    return observer;
  }
  std::optional<fp::SyncAnchor> anchor(OstrelEnumerator& e) {
    std::optional<fp::SyncAnchor> result;
    int calls = 0;
    e.currentSyncAnchor([&](std::optional<fp::SyncAnchor> a) {
      result = std::move(a);
      ++calls;
    });
    EXPECT_EQ(calls, 1);
    return result;
  }
  RecordingChangeObserver changes(OstrelEnumerator& e, const fp::SyncAnchor& from) {
    RecordingChangeObserver observer;
    e.enumerateChanges(observer, from);
    EXPECT_EQ(observer.finishes.size() + observer.errors.size(), 1u);
    return observer;
  }
  std::vector<std::string> askedResidencies() const {
    std::vector<std::string> slugs;
    for (const auto& request : companion.requests()) {
      auto it = request.query.find("residency");
      slugs.push_back(it == request.query.end() ? "?" : it->second);
    }
    return slugs;
  }

  TestCompanion companion;
  HandshakeHome home;
  std::shared_ptr<const OstrelBridge> bridge =
      std::make_shared<OstrelBridge>(BridgeSettings{.requestTimeout = 5, .streamingTimeout = 5, .grace = 1});
};

// Listing

TEST_F(EnumeratorTest, RootAndTrashAreAnsweredWithoutTheApp) {
  home.removeHandshake();
  EXPECT_EQ(list(root).ids(), (Ids{"device-only", "device-and-cloud", "cloud-only"}));
  EXPECT_EQ(list(trash, "any page").ids(), Ids{});
  EXPECT_EQ(companion.requestCount(), 0u);
}

TEST_F(EnumeratorTest, ResidencyFolderAndSubFolderListTheirOwnContent) {
  companion.script(enumeratePath, ok({record("top", std::nullopt), record("inx", "x"), record("iny", "x/y"),
                                      record("inz", "z/deep")}));
  EXPECT_EQ(list("cloud-only").ids(), (Ids{"dir:cloud-only/x", "dir:cloud-only/z", "top"}));
  EXPECT_EQ(list("dir:cloud-only/x", "page 2").ids(), (Ids{"dir:cloud-only/x/y", "inx"}));
  EXPECT_EQ(askedResidencies(), (std::vector<std::string>{"cloud-only", "cloud-only"}));
}

class UnknownContainerTest : public EnumeratorTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(UnknownContainerTest, IsNoSuchItemWithoutAsking) {
  EXPECT_EQ(list(GetParam()).error(), (fp::Error{"NSFileProviderErrorDomain", -1005, std::nullopt}));
  EXPECT_EQ(companion.requestCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Identifiers, UnknownContainerTest,
                         ::testing::Values("dir:nowhere/x", "nowhere", "dir:device-only", "dir:device-only/a//b",
                                           "Device only", "DEVICE-ONLY", ""));

class SignedOutTest : public EnumeratorTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(SignedOutTest, ListsNothingWithoutError) {
  home.write(companion.port(), {{"signedIn", false}});
  EXPECT_EQ(list(GetParam()).ids(), Ids{});
}

INSTANTIATE_TEST_SUITE_P(Containers, SignedOutTest,
                         ::testing::Values("device-only", "dir:device-only/a", workingSet));

TEST_F(EnumeratorTest, WorkingSetHoldsEveryFileAndFolderOfTheDeviceResidencies) {
  companion.scriptOnce(enumeratePath, ok({record("f1", std::nullopt), record("f2", "a/b/c"), record("f3", "a/b"),
                                          record("f4", "")}));
  companion.scriptOnce(enumeratePath, ok({record("g1", "q", "device-and-cloud")}));
  EXPECT_EQ(list(workingSet).ids(),
            (Ids{"f1", "f2", "f3", "f4", "dir:device-only/a", "dir:device-only/a/b", "dir:device-only/a/b/c", "g1",
                 "dir:device-and-cloud/q"}));
  EXPECT_EQ(askedResidencies(), (std::vector<std::string>{"device-only", "device-and-cloud"}));
}

TEST_F(EnumeratorTest, WorkingSetNeverListsAnEmptyFolderPath) {
  companion.scriptOnce(enumeratePath, ok({record("f1", "/lead")}));
  companion.scriptOnce(enumeratePath, ok({}));
  EXPECT_EQ(list(workingSet).ids(), (Ids{"f1", "dir:device-only//lead"}));
}

TEST_F(EnumeratorTest, WorkingSetWhoseSecondResidencyFailsReportsOnlyTheError) {
  LogCapture log;
  companion.scriptOnce(enumeratePath, ok({record("f1", std::nullopt)}));
  companion.script(enumeratePath, failing(500, R"({"error":"Vault disk is full."})"));
  fp::Error error = list(workingSet).error();
  EXPECT_EQ(error, (fp::Error{"com.ostrel.fileprovider.bridge", error.code, "Vault disk is full."}));
  EXPECT_EQ(log.lines(), Ids{"error|enumerate working set failed: Vault disk is full."});
}

struct FailureCase {
  const char* name;
  std::function<void(HandshakeHome&, TestCompanion&)> arrange;
  BridgeError thrown;     // what the bridge throws
  bool unavailable;       // reaches the host as serverUnreachable
};

class ListingFailureTest : public EnumeratorTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ListingFailureTest, IsLoggedAndMapped) {
  const FailureCase& c = GetParam();
  c.arrange(home, companion);
  for (const std::string container : {"device-only", "dir:device-only/a"}) {
    LogCapture log;
    fp::Error error = list(container).error();
    EXPECT_EQ(error.localizedDescription, c.thrown.errorDescription());
    if (c.unavailable) {
      EXPECT_EQ(error.domain, "NSFileProviderErrorDomain");
      EXPECT_EQ(error.code, -1004);
    } else {
      EXPECT_EQ(error.domain, "com.ostrel.fileprovider.bridge");
    }
    EXPECT_EQ(log.lines(), Ids{"error|enumerate " + container + " failed: " + c.thrown.errorDescription()});
  }
}

void noHandshake(HandshakeHome& h, TestCompanion&) { h.removeHandshake(); }
void notReady(HandshakeHome&, TestCompanion& c) { c.script(enumeratePath, failing(409, "no vault bound yet")); }
void clearing(HandshakeHome& h, TestCompanion& c) { h.write(c.port(), {{"clearing", true}}); }
void stuck(HandshakeHome& h, TestCompanion& c) { h.write(c.port(), {{"clearing", true}, {"stuck", true}}); }
void serverError(HandshakeHome&, TestCompanion& c) { c.script(enumeratePath, failing(500, "boom")); }
void garbled(HandshakeHome&, TestCompanion& c) { c.script(enumeratePath, failing(200, "not json")); }

// Listing and change requests meet the same failures.
const std::vector<FailureCase> failureCases{
    {"NotRunning", noHandshake, BridgeError::appNotRunning(), true},
    {"NotReady", notReady, BridgeError::notReady(), true},
    {"Clearing", clearing, BridgeError::clearingPrevious(), true},
    {"Stuck", stuck, BridgeError::clearingStuck(), true},
    {"Http", serverError, BridgeError::http(500, "boom"), false},
    {"Malformed", garbled, BridgeError::malformed("enumerate"), false},
};

std::string failureName(const ::testing::TestParamInfo<FailureCase>& param) { return param.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Cases, ListingFailureTest,
    ::testing::ValuesIn(failureCases), failureName);

// Change tracking

class ConstantAnchorTest : public EnumeratorTest,
                           public ::testing::WithParamInterface<std::pair<std::string, std::string>> {};

TEST_P(ConstantAnchorTest, NeverAsksTheApp) {
  home.removeHandshake();
  auto [container, constant] = GetParam();
  auto e = enumerator(container);
  EXPECT_EQ(anchor(*e), constant);
  EXPECT_EQ(changes(*e, constant).finishes, (std::vector<std::pair<fp::SyncAnchor, bool>>{{constant, false}}));
  EXPECT_EQ(changes(*e, "root/v1").errors, (std::vector<fp::Error>{{"NSFileProviderErrorDomain", -1002, std::nullopt}}));
  EXPECT_EQ(companion.requestCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Containers, ConstantAnchorTest,
                         ::testing::Values(std::pair{root, std::string("root/v2")},
                                           std::pair{trash, std::string("trash/v2")}));

TEST_F(EnumeratorTest, ResidencyAndItsSubFoldersShareTheDigestOfTheResidencyListing) {
  companion.script(enumeratePath,
                   ok({VaultFile{"f1", "a.txt", 5, 10, "cloud-only", false, "x"}}));
  std::string expected = digestOf("f1|a.txt|5|10.0|cloud-only|false|x\n--cloud-only");
  EXPECT_EQ(anchor(*enumerator("cloud-only")), expected);
  EXPECT_EQ(anchor(*enumerator("dir:cloud-only/x")), expected);
  EXPECT_EQ(anchor(*enumerator("dir:cloud-only/elsewhere/deep")), expected);
}

TEST_F(EnumeratorTest, WorkingSetAnchorCoversOnlyTheDeviceResidencies) {
  EXPECT_EQ(anchor(*enumerator(workingSet)), digestOf("--device-only\n--device-and-cloud"));
  EXPECT_EQ(askedResidencies(), (std::vector<std::string>{"device-only", "device-and-cloud"}));
}

TEST_F(EnumeratorTest, ChangesEndQuietlyUntilTheListingChanges) {
  companion.script(enumeratePath, ok({record("f1", "a")}));
  auto e = enumerator("dir:device-only/a", 0s);
  fp::SyncAnchor held = anchor(*e).value();
  EXPECT_EQ(changes(*e, held).finishes, (std::vector<std::pair<fp::SyncAnchor, bool>>{{held, false}}));

  VaultFile touched = record("f1", "a");
  touched.materialized = true;
  companion.script(enumeratePath, ok({touched}));
  EXPECT_EQ(changes(*e, held).errors, (std::vector<fp::Error>{{"NSFileProviderErrorDomain", -1002, std::nullopt}}));
}

TEST_F(EnumeratorTest, UnknownIdentifierHasNoAnchor) {
  auto e = enumerator("dir:nowhere/x");
  EXPECT_EQ(anchor(*e), std::nullopt);
  EXPECT_EQ(changes(*e, "").errors, (std::vector<fp::Error>{{"NSFileProviderErrorDomain", -1002, std::nullopt}}));
  EXPECT_EQ(companion.requestCount(), 0u);
}

TEST_F(EnumeratorTest, FingerprintIsCachedForItsLifetimeOnly) {
  auto lasting = enumerator("device-only", 1h);
  fp::SyncAnchor first = anchor(*lasting).value();
  EXPECT_EQ(changes(*lasting, first).finishes.size(), 1u);
  EXPECT_EQ(companion.requestCount(), 1u);

  // Each enumerator has its own cache.
  auto brief = enumerator("device-only", 20ms);
  anchor(*brief);
  std::this_thread::sleep_for(30ms);
  anchor(*brief);
  EXPECT_EQ(companion.requestCount(), 3u);
}

TEST_F(EnumeratorTest, FailedFingerprintIsNotCached) {
  companion.scriptOnce(enumeratePath, failing(500, "boom"));
  auto e = enumerator("device-only", 1h);
  EXPECT_EQ(anchor(*e), std::nullopt);
  EXPECT_EQ(anchor(*e), digestOf("--device-only"));
  EXPECT_EQ(companion.requestCount(), 2u);
}

TEST_F(EnumeratorTest, SignedOutResidencyHasTheAnchorOfAnEmptyOne) {
  home.write(companion.port(), {{"signedIn", false}});
  auto e = enumerator("device-only");
  EXPECT_EQ(anchor(*e), digestOf("--device-only"));
}

class ChangeFailureTest : public EnumeratorTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ChangeFailureTest, EndsWithTheHostsErrorAndLogsOnlyUnexpectedOnes) {
  const FailureCase& c = GetParam();
  c.arrange(home, companion);
  LogCapture log;
  auto e = enumerator("dir:device-only/a");
  EXPECT_EQ(anchor(*e), std::nullopt);
  fp::Error error = changes(*e, "old").errors.at(0);
  if (c.unavailable) {
    // The host waits for the app either way, so not ready reads as not running.
    const BridgeError& shown = c.thrown.isNotReady() ? BridgeError::appNotRunning() : c.thrown;
    EXPECT_EQ(error, (fp::Error{"NSFileProviderErrorDomain", -1004, shown.errorDescription()}));
    EXPECT_EQ(log.lines(), Ids{});
  } else {
    EXPECT_EQ(error.domain, "com.ostrel.fileprovider.bridge");
    EXPECT_EQ(error.localizedDescription, c.thrown.errorDescription());
    EXPECT_EQ(log.lines(), Ids{"error|enumerateChanges dir:device-only/a failed: " + c.thrown.errorDescription()});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChangeFailureTest,
    ::testing::ValuesIn(failureCases), failureName);

TEST_F(EnumeratorTest, ConcurrentFingerprintsAgree) {
  companion.script(enumeratePath, ok({record("f1", "a"), record("f2", std::nullopt)}));
  auto e = enumerator("device-only", 2ms);  // short enough that threads both hit and refill the cache
  fp::SyncAnchor expected = anchor(*e).value();
  std::vector<std::thread> threads;
  std::atomic<int> agreed{0};
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10; ++i) {
        std::optional<fp::SyncAnchor> got;
        e->currentSyncAnchor([&](std::optional<fp::SyncAnchor> a) { got = std::move(a); });
        RecordingChangeObserver observer;
        e->enumerateChanges(observer, expected);
        if (got == expected && observer.finishes.size() == 1 && observer.errors.empty()) ++agreed;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(agreed.load(), 80);
}

}  // namespace
}  // namespace ostrel
