// The host reports an extension that breaks the completion contract instead
// of printing whatever it was handed.

#include <gtest/gtest.h>

#include "host/call/session.hpp"

namespace ostrel::host::call {
namespace {

namespace fp = platform::fileprovider;

class StubItem final : public fp::Item {
 public:
  fp::ItemIdentifier itemIdentifier() const override { return "f1"; }
  fp::ItemIdentifier parentItemIdentifier() const override { return "device-only"; }
  std::string filename() const override { return "a.txt"; }
};

// Calls each completion `times` times, with an item and no error.
class Misbehaving final : public fp::ReplicatedExtension {
 public:
  explicit Misbehaving(int times) : times_(times) {}
  void invalidate() override {}
  fp::Progress item(const fp::ItemIdentifier&, const fp::Request&, fp::ItemCompletion done) override {
    for (int i = 0; i < times_; ++i) done(std::make_shared<StubItem>(), std::nullopt);
    return {};
  }
  std::unique_ptr<fp::Enumerator> enumerator(const fp::ItemIdentifier&, const fp::Request&,
                                             std::optional<fp::Error>&) override {
    return nullptr;
  }
  fp::Progress fetchContents(const fp::ItemIdentifier&, const std::optional<fp::ItemVersion>&, const fp::Request&,
                             fp::FetchContentsCompletion done) override {
    for (int i = 0; i < times_; ++i) done(std::nullopt, std::make_shared<StubItem>(), std::nullopt);
    return {};
  }
  fp::Progress createItem(const fp::Item&, fp::ItemFields, const std::optional<std::filesystem::path>&,
                          fp::CreateItemOptions, const fp::Request&, fp::ItemChangeCompletion done) override {
    for (int i = 0; i < times_; ++i) done(std::make_shared<StubItem>(), {}, false, std::nullopt);
    return {};
  }
  fp::Progress modifyItem(const fp::Item&, const fp::ItemVersion&, fp::ItemFields,
                          const std::optional<std::filesystem::path>&, fp::ModifyItemOptions, const fp::Request&,
                          fp::ItemChangeCompletion done) override {
    for (int i = 0; i < times_; ++i) done(nullptr, {}, false, std::nullopt);
    return {};
  }
  fp::Progress deleteItem(const fp::ItemIdentifier&, const fp::ItemVersion&, fp::DeleteItemOptions,
                          const fp::Request&, fp::DeleteCompletion done) override {
    for (int i = 0; i < times_; ++i) done(std::nullopt);
    return {};
  }

 private:
  int times_;
};

struct Broken {
  std::string name{};
  int times = 0;
  Call call{};
};

std::ostream& operator<<(std::ostream& out, const Broken& c) { return out << c.name; }

class BrokenContract : public ::testing::TestWithParam<Broken> {};

TEST_P(BrokenContract, IsReportedAsAHostError) {
  Misbehaving extension(GetParam().times);
  CallSession session(extension);
  Outcome outcome = session.perform(GetParam().call);
  EXPECT_TRUE(outcome.failed);
  ASSERT_TRUE(outcome.object.contains("error")) << outcome.object.dump();
  EXPECT_EQ(outcome.object["error"]["domain"], hostErrorDomain);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrokenContract,
    ::testing::Values(Broken{"itemNeverCompleted", 0, ItemCall{"f1"}}, Broken{"itemCompletedTwice", 2, ItemCall{"f1"}},
                      Broken{"deleteCompletedTwice", 2, DeleteCall{"f1"}},
                      Broken{"fetchWithoutLocation", 1, FetchCall{"f1"}},
                      Broken{"createNeverCompleted", 0, CreateCall{"device-only", "a"}},
                      Broken{"modifyWithNeitherItemNorError", 1, ModifyCall{"f1", "cloud-only", "a", 4}},
                      Broken{"noEnumeratorAndNoError", 1, ListCall{"cloud-only"}}),
    [](const auto& param) { return param.param.name; });

}  // namespace
}  // namespace ostrel::host::call
