#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "extension/bridge/bridge_error.hpp"
#include "extension/bridge/ostrel_bridge.hpp"
#include "tests/support/bridge_error_of.hpp"
#include "tests/support/test_companion.hpp"

namespace ostrel {
namespace {

using testing::bridgeErrorOf;
using testing::HandshakeHome;
using testing::ScriptedReply;
using testing::TestCompanion;

class Requests : public ::testing::Test {
 protected:
  void SetUp() override { home.write(companion.port()); }
  TestCompanion companion;
  HandshakeHome home;
  OstrelBridge bridge{BridgeSettings{.requestTimeout = 5, .grace = 1}};
};

TEST_F(Requests, EnumerateReturnsRecordsInOrderWhateverOkSays) {
  companion.script("/vault/finder/enumerate", ScriptedReply{.body = R"({"ok":false,"files":[
      {"id":"b","filename":"B.txt","size":2,"modifiedAt":2,"residency":"cloud-only","materialized":false,"folder":"x"},
      {"id":"a","filename":"A.txt","size":1,"modifiedAt":1,"residency":"cloud-only","materialized":true}]})"});
  auto files = bridge.enumerate(Residency::cloudOnly);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].id, "b");
  EXPECT_EQ(files[0].folder, "x");
  EXPECT_EQ(files[1].id, "a");
  EXPECT_EQ(companion.requests()[0].target, "/vault/finder/enumerate?residency=cloud-only");
}

TEST_F(Requests, UndecodableListingIsMalformedEnumerate) {
  for (const char* body : {"<html>", R"({"ok":true,"files":[{"id":"a","size":1,"modifiedAt":1,"residency":"r","materialized":true}]})",
                           R"({"ok":true,"files":[)"}) {
    companion.script("/vault/finder/enumerate", ScriptedReply{.body = body});
    EXPECT_EQ(bridgeErrorOf([&] { bridge.enumerate(Residency::deviceOnly); }), BridgeError::malformed("enumerate")) << body;
  }
}

struct EncodingCase {
  const char* id;
  const char* target;
};

class FetchEncoding : public Requests, public ::testing::WithParamInterface<EncodingCase> {};

TEST_P(FetchEncoding, PercentEncodesAllButLettersAndDigits) {
  companion.script("/vault/finder/content", ScriptedReply{.body = "bytes"});
  EXPECT_EQ(bridge.fetch(GetParam().id), "bytes");
  EXPECT_EQ(companion.requests().at(0).target, GetParam().target);
}

INSTANTIATE_TEST_SUITE_P(Cases, FetchEncoding,
                         ::testing::Values(EncodingCase{"a b/c", "/vault/finder/content?id=a%20b%2Fc"},
                                           EncodingCase{"x-y.z_w", "/vault/finder/content?id=x%2Dy%2Ez%5Fw"},
                                           EncodingCase{"\u00e9", "/vault/finder/content?id=%C3%A9"},
                                           EncodingCase{"AZaz09", "/vault/finder/content?id=AZaz09"},
                                           EncodingCase{"", "/vault/finder/content?id="}));

TEST_F(Requests, FetchStreamsIntoAFile) {
  std::string bytes(3 << 20, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  companion.script("/vault/finder/content", ScriptedReply{.body = bytes, .contentType = "application/octet-stream"});
  testing::TempFile target("download", "");
  int fd = ::open(target.path().c_str(), O_WRONLY | O_TRUNC);
  FileSink sink(fd);
  bridge.fetch("big", sink);
  ::close(fd);
  std::ifstream in(target.path(), std::ios::binary);
  std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(sink.written(), bytes.size());
  EXPECT_TRUE(written == bytes);
}

TEST_F(Requests, ReparentPostsIdAndSlugAndIgnoresTheReply) {
  companion.script("/vault/finder/reparent", ScriptedReply{.body = "not json at all", .contentType = "text/plain"});
  bridge.reparent("file \"1\"", Residency::deviceAndCloud);
  auto request = companion.requests().at(0);
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.header("content-type"), "application/json");
  EXPECT_EQ(nlohmann::json::parse(request.body),
            (nlohmann::json{{"id", "file \"1\""}, {"to", "device-and-cloud"}}));
}

TEST_F(Requests, ReparentErrorsAreClassified) {
  companion.script("/vault/finder/reparent",
                   ScriptedReply{.status = 409, .body = R"({"error":"Not now","refusal":"final"})"});
  EXPECT_EQ(bridgeErrorOf([&] { bridge.reparent("f", Residency::cloudOnly); }), BridgeError::refused("Not now"));
}

}  // namespace
}  // namespace ostrel
