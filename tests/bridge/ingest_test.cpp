#include <gtest/gtest.h>

#include <clocale>
#include <nlohmann/json.hpp>

#include "extension/bridge/bridge_error.hpp"
#include "extension/bridge/ostrel_bridge.hpp"
#include "extension/bridge/upload_limit.hpp"
#include "platform/crypto.hpp"
#include "tests/support/bridge_error_of.hpp"
#include "tests/support/test_companion.hpp"

namespace ostrel {
namespace {

using testing::bridgeErrorOf;
using testing::HandshakeHome;
using testing::ScriptedReply;
using testing::TempFile;
using testing::TestCompanion;

constexpr const char* stored = R"({"ok":true,"id":"new-1"})";

// Both ways must behave alike wherever the handshake leaves the choice open.
class Ingest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    companion.script("/vault/finder/ingest", ScriptedReply{.body = stored});
    companion.script("/vault/finder/ingest-stream", ScriptedReply{.body = stored});
    writeHandshake();
  }
  void writeHandshake(nlohmann::json extra = nlohmann::json::object()) {
    extra["streamIngest"] = streaming();
    home.write(companion.port(), extra);
  }
  bool streaming() const { return GetParam(); }
  const char* endpoint() const { return streaming() ? "/vault/finder/ingest-stream" : "/vault/finder/ingest"; }

  TestCompanion companion;
  HandshakeHome home;
  OstrelBridge bridge{BridgeSettings{.requestTimeout = 5, .streamingTimeout = 5, .grace = 1}};
};

TEST_P(Ingest, SendsTheFileAndReturnsTheId) {
  TempFile file("Résumé 2024.txt", std::string("hello\0world", 11));
  EXPECT_EQ(bridge.ingest("Résumé 2024.txt", Residency::deviceAndCloud, file.path(), "Photos/2024"), "new-1");
  auto request = companion.requests().at(0);
  EXPECT_EQ(request.path, endpoint());
  if (streaming()) {
    EXPECT_EQ(request.header("content-type"), "application/octet-stream");
    EXPECT_EQ(request.header("x-ostrel-residency"), "device-and-cloud");
    EXPECT_EQ(request.body, std::string("hello\0world", 11));
  } else {
    EXPECT_EQ(request.header("content-type"), "application/json");
    auto body = nlohmann::json::parse(request.body);
    EXPECT_EQ(body, (nlohmann::json{{"filename", "Résumé 2024.txt"},
                                    {"residency", "device-and-cloud"},
                                    {"contentBase64", platform::base64Encode(std::string("hello\0world", 11))},
                                    {"folder", "Photos/2024"}}));
  }
}

TEST_P(Ingest, NoFolderMeansNoFolderMemberOrHeader) {
  TempFile file("a.txt", "x");
  bridge.ingest("a.txt", Residency::deviceOnly, file.path());
  auto request = companion.requests().at(0);
  EXPECT_FALSE(request.hasHeader("x-ostrel-folder"));
  if (!streaming()) {
    EXPECT_FALSE(nlohmann::json::parse(request.body).contains("folder"));
  }
}

struct LimitCase {
  const char* name;
  std::optional<std::int64_t> maxFileBytes;
  std::int64_t size;
  bool sent;
};

TEST_P(Ingest, SizeLimitIsAppliedBeforeAnyRequest) {
  const LimitCase cases[] = {
      {"noLimit", std::nullopt, 5000, true},   {"zeroIsNoLimit", 0, 5000, true},
      {"negativeIsNoLimit", -1, 5000, true},   {"exactlyAtLimit", 4096, 4096, true},
      {"oneByteOver", 4096, 4097, false},
  };
  for (const auto& c : cases) {
    companion.clearRecords();
    writeHandshake(c.maxFileBytes ? nlohmann::json{{"maxFileBytes", *c.maxFileBytes}} : nlohmann::json::object());
    TempFile file("f.bin", std::string(static_cast<std::size_t>(c.size), 'q'));
    if (c.sent) {
      EXPECT_EQ(bridge.ingest("f.bin", Residency::cloudOnly, file.path()), "new-1") << c.name;
      EXPECT_EQ(companion.requestCount(), 1u) << c.name;
    } else {
      EXPECT_EQ(bridgeErrorOf([&] { bridge.ingest("f.bin", Residency::cloudOnly, file.path()); }).kind(),
                BridgeError::Kind::tooLarge) << c.name;
      EXPECT_EQ(companion.requestCount(), 0u) << c.name;
    }
  }
}

TEST_P(Ingest, OversizedFileIsRefusedWithoutReadingIt) {
  writeHandshake({{"maxFileBytes", 1048576}});
  TempFile file("big.mov", std::int64_t{3670016});  // 3.5 MB, sparse
  auto error = bridgeErrorOf([&] { bridge.ingest("big.mov", Residency::deviceOnly, file.path()); });
  EXPECT_EQ(error, BridgeError::tooLarge("\u201Cbig.mov\u201D is 3.5 MB. The Ostrel folder accepts files up to 1.0 MB."));
  EXPECT_EQ(companion.requestCount(), 0u);
}

TEST_P(Ingest, MissingFileIsUnreadableAndSendsNothing) {
  auto error = bridgeErrorOf([&] { bridge.ingest("gone.txt", Residency::deviceOnly, "/nonexistent/gone.txt"); });
  EXPECT_EQ(error, BridgeError::malformed("could not read the dropped file"));
  EXPECT_EQ(companion.requestCount(), 0u);
}

struct ReplyCase {
  const char* name;
  const char* reply;
  std::optional<BridgeError> error;  // nothing: "new-1" is returned
};

TEST_P(Ingest, InterpretsTheReply) {
  const ReplyCase cases[] = {
      {"hiddenWinsOverOk", R"({"ok":true,"id":"new-1","skipped":"hidden"})",
       BridgeError::refused("\u201C.env\u201D is a hidden file and was skipped.")},
      {"otherSkipIsIgnored", R"({"ok":true,"id":"new-1","skipped":"duplicate"})", std::nullopt},
      {"okWithoutId", R"({"ok":true})", BridgeError::malformed("ingest refused")},
      {"notOkWithoutError", R"({"ok":false})", BridgeError::malformed("ingest refused")},
      {"notOkWithError", R"({"ok":false,"error":"Vault is full"})", BridgeError::malformed("Vault is full")},
      {"notDecodable", R"({"id":"new-1"})", BridgeError::malformed("ingest")},
  };
  TempFile file(".env", "x");
  for (const auto& c : cases) {
    companion.script(endpoint(), ScriptedReply{.body = c.reply});
    if (c.error) {
      EXPECT_EQ(bridgeErrorOf([&] { bridge.ingest(".env", Residency::deviceOnly, file.path()); }), *c.error) << c.name;
    } else {
      EXPECT_EQ(bridge.ingest(".env", Residency::deviceOnly, file.path()), "new-1") << c.name;
    }
  }
  EXPECT_EQ(BridgeError::malformed("Vault is full").errorDescription(), "Ostrel sent an unexpected response: Vault is full");
}

// The server library decodes header values, so the wire is read raw here.
TEST(StreamingIngestHeaders, TravelPercentEncoded) {
  testing::RawReplyServer server("HTTP/1.1 200 OK\r\nContent-Length: 24\r\n\r\n" + std::string(stored));
  HandshakeHome home;
  home.write(server.port(), {{"streamIngest", true}});
  TempFile file("x", "abc");
  EXPECT_EQ(OstrelBridge().ingest("Résumé 2024.txt", Residency::deviceOnly, file.path(), "Photos/2024"), "new-1");
  auto head = server.lastRequestHead();
  EXPECT_NE(head.find("\r\nX-Ostrel-Filename: R%C3%A9sum%C3%A9%202024%2Etxt\r\n"), std::string::npos) << head;
  EXPECT_NE(head.find("\r\nX-Ostrel-Folder: Photos%2F2024"), std::string::npos) << head;
  EXPECT_NE(head.find("\r\nX-Ostrel-Residency: device-only"), std::string::npos) << head;
  EXPECT_NE(head.find("\r\nContent-Length: 3"), std::string::npos) << head;
}

INSTANTIATE_TEST_SUITE_P(Ways, Ingest, ::testing::Values(false, true),
                         [](const auto& test) { return test.param ? "streaming" : "json"; });

TEST(UploadLimit, MegabytesIgnoreTheLocale) {
  // Where a locale with a decimal comma is installed, it must not leak in.
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  EXPECT_EQ(megabytesText(3670016), "3.5");
  EXPECT_EQ(megabytesText(1048576), "1.0");
  EXPECT_EQ(megabytesText(0), "0.0");
  EXPECT_EQ(megabytesText(104857), "0.1");  // 0.09999990463 rounds up
  std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
}  // namespace ostrel
