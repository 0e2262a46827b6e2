#include "extension/bridge/transport.hpp"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "extension/bridge/bridge_error.hpp"
#include "extension/bridge/ostrel_bridge.hpp"
#include "tests/support/bridge_error_of.hpp"
#include "tests/support/test_companion.hpp"

namespace ostrel {
namespace {

using testing::bridgeErrorOf;
using testing::HandshakeHome;
using testing::RawReplyServer;
using testing::ScriptedReply;
using testing::TestCompanion;

constexpr const char* listing = "/vault/finder/enumerate";
constexpr const char* content = "/vault/finder/content";

// Short limits so that deadline cases take about a second.
const BridgeSettings quick{.requestTimeout = 0.5, .streamingTimeout = 0.5, .grace = 0.5};

int unusedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

class Transport : public ::testing::Test {
 protected:
  void SetUp() override {
    home.write(companion.port());
    companion.script(listing, {});
  }
  TestCompanion companion;
  HandshakeHome home;
  OstrelBridge bridge{BridgeSettings{.requestTimeout = 5, .grace = 1}};
};

TEST_F(Transport, SendsTokenAndJsonContentTypeWithoutBody) {
  bridge.enumerate(Residency::deviceOnly);
  auto requests = companion.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/vault/finder/enumerate?residency=device-only");
  EXPECT_EQ(requests[0].header("x-ostrel-sync-token"), HandshakeHome::token);
  EXPECT_EQ(requests[0].header("content-type"), "application/json");
  EXPECT_EQ(requests[0].bodySize, 0u);
}

TEST_F(Transport, ReadsTheHandshakeAfreshForEveryRequest) {
  bridge.enumerate(Residency::deviceOnly);
  TestCompanion moved;
  moved.script(listing, {});
  home.write(moved.port(), {{"token", "rotated"}});
  bridge.enumerate(Residency::deviceOnly);
  ASSERT_EQ(moved.requestCount(), 1u);
  EXPECT_EQ(moved.requests()[0].header("x-ostrel-sync-token"), "rotated");
  home.write(moved.port(), {{"signedIn", false}});
  EXPECT_EQ(bridgeErrorOf([&] { bridge.enumerate(Residency::deviceOnly); }).kind(), BridgeError::Kind::notSignedIn);
  EXPECT_EQ(moved.requestCount(), 1u) << "a failed handshake sends nothing";
}

TEST_F(Transport, ReusesOneConnectionForSequentialRequests) {
  companion.script(listing, {});
  for (int i = 0; i < 50; ++i) bridge.enumerate(Residency::cloudOnly);
  EXPECT_EQ(companion.requestCount(), 50u);
  EXPECT_EQ(companion.connectionCount(), 1u);
}

TEST_F(Transport, EmptyBodyIsZeroBytes) {
  companion.script(content, ScriptedReply{.body = "", .contentType = "application/octet-stream"});
  EXPECT_EQ(bridge.fetch("x"), "");
}

TEST_F(Transport, StatusesOutsideSuccessAreClassified) {
  for (int status : {300, 404, 500}) {
    companion.script(content, ScriptedReply{.status = status, .body = "nope", .contentType = "text/plain"});
    auto error = bridgeErrorOf([&] { bridge.fetch("x"); });
    EXPECT_EQ(error.kind(), BridgeError::Kind::http) << status;
    EXPECT_EQ(error.status(), status);
    EXPECT_EQ(error.payload(), "nope") << status;
  }
  companion.script(content, ScriptedReply{.status = 502, .body = R"({"error":"Cloud gone","retry":"cloud-unreachable"})"});
  EXPECT_EQ(bridgeErrorOf([&] { bridge.fetch("x"); }), BridgeError::unreachable("Cloud gone"));
}

TEST_F(Transport, DeadlineEndsATricklingReplyWith408) {
  companion.script(content, ScriptedReply{.ending = ScriptedReply::Ending::trickle,
                                          .trickleEvery = std::chrono::milliseconds(50),
                                          .trickleFor = std::chrono::milliseconds(4000)});
  auto started = std::chrono::steady_clock::now();
  auto error = bridgeErrorOf([&] { OstrelBridge(quick).fetch("x"); });
  auto elapsed = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(error, BridgeError::http(408, "Ostrel did not respond within 1s"));
  EXPECT_LT(elapsed, std::chrono::seconds(3)) << "the deadline must end the wait";
}

TEST_F(Transport, SilentServiceEndsWithTheTransfersOwnTimeout) {
  OstrelBridge patient(BridgeSettings{.requestTimeout = 0.5, .grace = 3});
  companion.script(content, ScriptedReply{.delay = std::chrono::milliseconds(2500)});
  auto error = bridgeErrorOf([&] { patient.fetch("x"); });
  EXPECT_EQ(error.kind(), BridgeError::Kind::malformed);
  EXPECT_TRUE(error.payload().starts_with("transport: ")) << error.payload();
}

TEST_F(Transport, DroppedConnectionMidBodyMeansNotRunning) {
  companion.script(content, ScriptedReply{.body = std::string(100000, 'z'), .ending = ScriptedReply::Ending::dropMidBody});
  EXPECT_EQ(bridgeErrorOf([&] { bridge.fetch("x"); }).kind(), BridgeError::Kind::appNotRunning);
}

TEST_F(Transport, RepliesAboveTheMemoryLimitAreRefused) {
  OstrelBridge small(BridgeSettings{.requestTimeout = 5, .grace = 1, .maxReplyBytes = 1024});
  companion.script(content, ScriptedReply{.body = std::string(10000, 'z')});
  auto error = bridgeErrorOf([&] { small.fetch("x"); });
  EXPECT_EQ(error.kind(), BridgeError::Kind::malformed);
  EXPECT_NE(error.payload().find("larger than 1024"), std::string::npos) << error.payload();
  companion.script(content, ScriptedReply{.body = "fine"});
  EXPECT_EQ(small.fetch("x"), "fine") << "the next request works again";
}

TEST_F(Transport, HugeErrorBodyIsCutToItsFirstCharacters) {
  companion.script(content, ScriptedReply{.status = 500, .body = std::string(10u << 20, 'e'), .contentType = "text/plain"});
  EXPECT_EQ(bridgeErrorOf([&] { bridge.fetch("x"); }), BridgeError::http(500, std::string(200, 'e')));
}

TEST(BridgeDefaults, ProductionLimits) {
  BridgeSettings production;
  EXPECT_EQ(production.requestTimeout, 60);
  EXPECT_EQ(production.streamingTimeout, 300);
  EXPECT_EQ(production.grace, 5);
}

TEST_F(Transport, ExtraHeadersComeLastAndReplaceDefaults) {
  companion.script("/echo", {});
  MemorySink sink(1 << 20);
  sendRequest(loadHandshake(),
              HttpRequest{.path = "/echo", .method = "GET",
                          .headers = {{"content-type", "text/plain"}, {"X-Ostrel-Extra", "1"}},
                          .timeout = 1},
              sink, TransportLimits{});
  auto request = companion.requests().at(0);
  EXPECT_EQ(request.header("content-type"), "text/plain");
  EXPECT_EQ(request.header("x-ostrel-extra"), "1");
}

TEST_F(Transport, HeaderValuesWithLineBreaksAreNeverSent) {
  home.write(companion.port(), {{"token", "t\r\nX-Forged: 1"}});
  auto error = bridgeErrorOf([&] { bridge.enumerate(Residency::deviceOnly); });
  EXPECT_EQ(error.kind(), BridgeError::Kind::malformed);
  EXPECT_EQ(companion.requestCount(), 0u);
}

TEST_F(Transport, ConcurrentRequestsEachGetTheirReply) {
  companion.script(content, ScriptedReply{.body = "bytes", .delay = std::chrono::milliseconds(50)});
  OstrelBridge patient(BridgeSettings{.requestTimeout = 10, .grace = 1});  // a loaded machine connects slowly
  std::vector<std::thread> threads;
  std::atomic<int> good{0};
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] {
      try {
        if (patient.fetch("x") == "bytes") ++good;
      } catch (const BridgeError& e) {
        ADD_FAILURE() << e.errorDescription();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(good.load(), 8);
}

class UnusablePort : public ::testing::TestWithParam<std::int64_t> {};

TEST_P(UnusablePort, IsMalformedWithoutARequest) {
  HandshakeHome home;
  home.write(0, {{"port", GetParam()}});
  auto error = bridgeErrorOf([] { OstrelBridge(quick).enumerate(Residency::deviceOnly); });
  EXPECT_EQ(error.kind(), BridgeError::Kind::malformed);
  EXPECT_NE(error.payload().find(std::to_string(GetParam())), std::string::npos) << error.payload();
}

INSTANTIATE_TEST_SUITE_P(Cases, UnusablePort, ::testing::Values(-1, 0, 65536, INT64_MAX, INT64_MIN));

struct RawCase {
  const char* name;
  std::string reply;  // empty: the connection closes without a word
  BridgeError expected;
};

class RawReplies : public ::testing::TestWithParam<RawCase> {};

TEST_P(RawReplies, EndInABridgeError) {
  RawReplyServer server(GetParam().reply);
  HandshakeHome home;
  home.write(server.port());
  EXPECT_EQ(bridgeErrorOf([] { OstrelBridge(quick).fetch("x"); }), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RawReplies,
    ::testing::Values(
        RawCase{"closedWithoutReply", "", BridgeError::appNotRunning()},
        RawCase{"successWithNoBodyAtAll", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", BridgeError::malformed("empty body")},
        RawCase{"truncatedBody", "HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nshort", BridgeError::appNotRunning()},
        RawCase{"errorWithNoBody", "HTTP/1.1 409 Conflict\r\nConnection: close\r\n\r\n", BridgeError::http(409, "")},
        RawCase{"notModified", "HTTP/1.1 304 Not Modified\r\n\r\n", BridgeError::http(304, "")}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(TransportGarbage, NonHttpReplyIsATransportError) {
  RawReplyServer server("SSH-2.0-hello\r\n\r\n");
  HandshakeHome home;
  home.write(server.port());
  auto error = bridgeErrorOf([] { OstrelBridge(quick).fetch("x"); });
  EXPECT_EQ(error.kind(), BridgeError::Kind::malformed);
  EXPECT_TRUE(error.payload().starts_with("transport: ")) << error.payload();
}

TEST(TransportRefused, NothingListeningMeansNotRunning) {
  HandshakeHome home;
  home.write(unusedPort());
  auto error = bridgeErrorOf([] { OstrelBridge(quick).enumerate(Residency::deviceOnly); });
  EXPECT_EQ(error, BridgeError::appNotRunning());
  EXPECT_EQ(error.errorDescription(), "Ostrel isn\u2019t running. Open Ostrel to use this folder.");
}

}  // namespace
}  // namespace ostrel
