#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "host/serve/control_server.hpp"
#include "host/serve/control_server_requests.hpp"
#include "host/serve/domain_state.hpp"
#include "platform/fileprovider/control_socket.hpp"
#include "platform/fileprovider/control_socket_client.hpp"
#include "tests/host_serve/fake_mount.hpp"

namespace ostrel::host {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using platform::UniqueFd;
using platform::fileprovider::ControlSocketClient;
using platform::fileprovider::Domain;
using platform::fileprovider::Error;
using platform::fileprovider::exchange;
using platform::fileprovider::kControlSocketErrorDomain;

class ControlServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("serve-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    log_ = std::make_shared<testing::FakeMountLog>();
    domains_ = std::make_unique<MountedDomains>(
        ServeSettings{.mountRoot = dir_ / "CloudStorage", .stateFolder = dir_ / "state",
                      .cacheFolder = dir_ / "cache"},
        testing::fakeFactory(log_));
    startServer();
  }
  void TearDown() override {
    server_.reset();
    domains_.reset();
    fs::remove_all(dir_);
  }

  ControlServerSettings settings() const {
    return {.socket = dir_ / "run" / "fphost.sock", .readDeadline = std::chrono::milliseconds(300)};
  }

  void startServer(ControlServerSettings chosen = {}) {
    if (chosen.socket.empty()) chosen = settings();
    auto made = ControlServer::listen(chosen, [this](std::string_view line) {
      return answerRequest(*domains_, line);
    });
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<ControlServer>>(made))
        << std::get<Error>(made).localizedDescription.value_or("");
    server_ = std::move(std::get<std::unique_ptr<ControlServer>>(made));
  }

  // One request line, the reply as JSON; a transport failure fails the test.
  json ask(const json& request) { return askRaw(request.dump()); }
  json askRaw(const std::string& line) {
    auto reply = exchange(settings().socket, line, std::chrono::steady_clock::now() + std::chrono::seconds(5));
    if (auto* error = std::get_if<Error>(&reply)) {
      ADD_FAILURE() << "no reply: " << error->localizedDescription.value_or("");
      return json::object();
    }
    return json::parse(std::get<std::string>(reply));
  }

  static json domain(const std::string& id = "ostrel", const std::string& name = "Ostrel") {
    return {{"identifier", id}, {"displayName", name}};
  }
  json add(const json& d = domain()) { return ask({{"op", "addDomain"}, {"domain", d}}); }

  fs::path dir_;
  std::shared_ptr<testing::FakeMountLog> log_;
  std::unique_ptr<MountedDomains> domains_;
  std::unique_ptr<ControlServer> server_;
};

TEST_F(ControlServerTest, AddMountsListsAndPersistsTheDomain) {
  EXPECT_EQ(add(), json::object());
  EXPECT_EQ(add(domain("second", "Second")), json::object());
  // Adding again is not an error and mounts nothing twice.
  EXPECT_EQ(add(), json::object());

  EXPECT_EQ(ask({{"op", "getDomains"}}),
            json({{"domains", {domain(), domain("second", "Second")}}}));
  EXPECT_EQ(log_->snapshot(), (std::vector<std::string>{"ostrel start", "second start"}));
  ASSERT_EQ(log_->settings.size(), 2u);
  EXPECT_EQ(log_->settings[0].mountPoint, dir_ / "CloudStorage" / "Ostrel");
  EXPECT_EQ(log_->settings[0].cacheFolder, dir_ / "cache" / "ostrel");
  EXPECT_EQ(log_->settings[0].stateFolder, dir_ / "state" / "ostrel");
  EXPECT_TRUE(fs::is_directory(dir_ / "CloudStorage" / "Ostrel"));
  EXPECT_EQ(loadDomains(dir_ / "state" / "domains.json"),
            (std::vector<Domain>{{"ostrel", "Ostrel"}, {"second", "Second"}}));
}

TEST_F(ControlServerTest, AMountThatFailsToStartLeavesNothingRegistered) {
  log_->startError = Error::fileProvider(-1004, "unreachable");
  json reply = add();
  EXPECT_EQ(reply["error"]["code"], -1004);
  EXPECT_EQ(reply["error"]["domain"], "NSFileProviderErrorDomain");
  EXPECT_EQ(ask({{"op", "getDomains"}}), json({{"domains", json::array()}}));
  EXPECT_FALSE(fs::exists(dir_ / "state" / "domains.json"));
}

TEST_F(ControlServerTest, RemovalPreservesByModeBesideTheMountPoint) {
  for (int mode : {1, 2}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(add(), json::object());
    fs::create_directories(dir_ / "cache" / "ostrel");
    json reply = ask({{"op", "removeDomain"}, {"domain", domain()}, {"mode", mode}});
    ASSERT_TRUE(reply["preservedAt"].is_string()) << reply;
    fs::path kept = reply["preservedAt"].get<std::string>();
    EXPECT_EQ(kept.parent_path(), dir_ / "CloudStorage");
    EXPECT_TRUE(kept.filename().string().starts_with("Ostrel (Preserved ")) << kept;
    EXPECT_TRUE(fs::is_directory(kept));
    EXPECT_EQ(log_->snapshot().at(log_->snapshot().size() - 2), "ostrel preserve " + std::to_string(mode));
    EXPECT_EQ(log_->snapshot().back(), "ostrel stop");
    EXPECT_FALSE(fs::exists(dir_ / "cache" / "ostrel"));
    EXPECT_TRUE(loadDomains(dir_ / "state" / "domains.json").empty());
  }
}

TEST_F(ControlServerTest, RemovalWithNothingKeptReportsNull) {
  log_->preserveNothing = true;
  ASSERT_EQ(add(), json::object());
  EXPECT_EQ(ask({{"op", "removeDomain"}, {"domain", domain()}, {"mode", 1}}), json({{"preservedAt", nullptr}}));
  EXPECT_EQ(ask({{"op", "getDomains"}}), json({{"domains", json::array()}}));
}

TEST_F(ControlServerTest, AFailedPreservationKeepsTheDomainAndItsFiles) {
  ASSERT_EQ(add(), json::object());
  log_->preserveThrows = true;
  json reply = ask({{"op", "removeDomain"}, {"domain", domain()}, {"mode", 2}});
  ASSERT_TRUE(reply.contains("error")) << reply;
  EXPECT_EQ(reply["error"]["description"], "disk full");
  EXPECT_EQ(log_->snapshot().back(), "ostrel preserve 2");  // never stopped
  EXPECT_EQ(ask({{"op", "getDomains"}})["domains"].size(), 1u);
}

TEST_F(ControlServerTest, SignalsReachTheMountOfTheirDomain) {
  ASSERT_EQ(add(), json::object());
  EXPECT_EQ(ask({{"op", "signalEnumerator"}, {"domain", domain()}, {"container", "cloud-only"}}), json::object());
  EXPECT_EQ(ask({{"op", "signalErrorResolved"},
                 {"domain", {{"identifier", "ostrel"}}},
                 {"error", {{"domain", "NSFileProviderErrorDomain"}, {"code", -1004}}}}),
            json::object());
  EXPECT_EQ(log_->snapshot(), (std::vector<std::string>{"ostrel start", "ostrel signal cloud-only",
                                                        "ostrel resolved NSFileProviderErrorDomain -1004"}));
}

TEST_F(ControlServerTest, TheRealClientDecodesEveryReply) {
  ControlSocketClient client(settings().socket, std::chrono::duration<double>(5));
  std::promise<std::optional<Error>> added;
  client.addDomain({"ostrel", "Ostrel"}, [&](std::optional<Error> e) { added.set_value(e); });
  EXPECT_EQ(added.get_future().get(), std::nullopt);

  std::promise<std::vector<Domain>> listed;
  client.getDomains([&](std::vector<Domain> d, std::optional<Error>) { listed.set_value(d); });
  EXPECT_EQ(listed.get_future().get(), (std::vector<Domain>{{"ostrel", "Ostrel"}}));

  std::promise<std::optional<Error>> signalled;
  client.managerForDomain({"ostrel", "Ostrel"})->signalEnumerator("nowhere", [&](std::optional<Error> e) {
    signalled.set_value(e);
  });
  EXPECT_EQ(signalled.get_future().get(), std::nullopt);

  std::promise<std::optional<fs::path>> removed;
  client.removeDomain({"ostrel", "Ostrel"}, platform::fileprovider::RemovalMode::preserveDownloadedUserData,
                      [&](std::optional<fs::path> at, std::optional<Error>) { removed.set_value(at); });
  auto at = removed.get_future().get();
  ASSERT_TRUE(at);
  EXPECT_TRUE(fs::is_directory(*at));
}

struct BadRequestCase {
  std::string name;
  std::string line;
  int code;
};

void PrintTo(const BadRequestCase& tested, std::ostream* out) { *out << tested.name; }

class BadRequests : public ControlServerTest, public ::testing::WithParamInterface<BadRequestCase> {};

TEST_P(BadRequests, AreAnsweredWithAnError) {
  ASSERT_EQ(add(), json::object());
  json reply = askRaw(GetParam().line);
  ASSERT_TRUE(reply.contains("error")) << reply;
  EXPECT_EQ(reply["error"]["domain"], kControlSocketErrorDomain);
  EXPECT_EQ(reply["error"]["code"], GetParam().code);
  // Refused requests change nothing.
  EXPECT_EQ(ask({{"op", "getDomains"}}), json({{"domains", {domain()}}}));
}

INSTANTIATE_TEST_SUITE_P(
    ControlServer, BadRequests,
    ::testing::Values(
        BadRequestCase{"NotJson", "hello", EINVAL},
        BadRequestCase{"NotAnObject", "[1,2]", EINVAL},
        BadRequestCase{"NoOp", "{}", EINVAL},
        BadRequestCase{"UnknownOp", R"({"op":"format"})", EINVAL},
        BadRequestCase{"NoDomain", R"({"op":"addDomain"})", EINVAL},
        BadRequestCase{"IdentifierNotText", R"({"op":"addDomain","domain":{"identifier":7}})", EINVAL},
        BadRequestCase{"IdentifierClimbsOut", R"({"op":"addDomain","domain":{"identifier":"../x"}})", EINVAL},
        BadRequestCase{"NameClimbsOut", R"({"op":"addDomain","domain":{"identifier":"x","displayName":".."}})", EINVAL},
        BadRequestCase{"NameWithSlash", R"({"op":"addDomain","domain":{"identifier":"x","displayName":"a/b"}})", EINVAL},
        BadRequestCase{"SameFolderAsAnother", R"({"op":"addDomain","domain":{"identifier":"x","displayName":"Ostrel"}})", EEXIST},
        BadRequestCase{"ModeNotANumber", R"({"op":"removeDomain","domain":{"identifier":"ostrel"},"mode":"1"})", EINVAL},
        BadRequestCase{"ModeOutOfRange", R"({"op":"removeDomain","domain":{"identifier":"ostrel"},"mode":3})", EINVAL},
        BadRequestCase{"RemoveUnknown", R"({"op":"removeDomain","domain":{"identifier":"other"},"mode":1})", ENOENT},
        BadRequestCase{"SignalUnknown", R"({"op":"signalEnumerator","domain":{"identifier":"other"},"container":"x"})", ENOENT},
        BadRequestCase{"SignalWithoutContainer", R"({"op":"signalEnumerator","domain":{"identifier":"ostrel"}})", EINVAL},
        BadRequestCase{"ResolvedWithoutCode", R"({"op":"signalErrorResolved","domain":{"identifier":"ostrel"},"error":{"domain":"d"}})", EINVAL}),
    [](const ::testing::TestParamInfo<BadRequestCase>& tested) { return tested.param.name; });

UniqueFd connectRaw(const fs::path& path) {
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path.c_str());
  EXPECT_EQ(::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  return fd;
}

std::string readAll(int fd) {
  std::string out;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
  return out;
}

TEST_F(ControlServerTest, ASilentClientHoldsNobodyElseAndIsDroppedAtTheDeadline) {
  UniqueFd silent = connectRaw(settings().socket);
  ::send(silent.get(), "{\"op\":", 6, MSG_NOSIGNAL);
  // Answered while the silent one still waits.
  EXPECT_EQ(ask({{"op", "getDomains"}}), json({{"domains", json::array()}}));
  json reply = json::parse(readAll(silent.get()));
  EXPECT_EQ(reply["error"]["code"], ETIMEDOUT);
}

TEST_F(ControlServerTest, AnOversizedRequestIsRefused) {
  std::string line = R"({"op":"getDomains","pad":")" + std::string((1 << 20) + 10, 'x') + "\"}";
  auto reply = exchange(settings().socket, line, std::chrono::steady_clock::now() + std::chrono::seconds(5));
  ASSERT_TRUE(std::holds_alternative<std::string>(reply));
  EXPECT_EQ(json::parse(std::get<std::string>(reply))["error"]["code"], EMSGSIZE);
}

TEST_F(ControlServerTest, TheSocketIsOursAloneAndGoneAtStop) {
  struct stat info {};
  ASSERT_EQ(::lstat(settings().socket.c_str(), &info), 0);
  EXPECT_TRUE(S_ISSOCK(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(::lstat(settings().socket.parent_path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  server_->stop();
  EXPECT_FALSE(fs::exists(fs::symlink_status(settings().socket)));
}

TEST_F(ControlServerTest, ASecondServerIsRefusedAndAStaleSocketReplaced) {
  auto second = ControlServer::listen(settings(), [](std::string_view) { return std::string("{}"); });
  ASSERT_TRUE(std::holds_alternative<Error>(second));
  EXPECT_EQ(std::get<Error>(second).code, EADDRINUSE);
  // The refused one left the first one's socket alone.
  EXPECT_EQ(ask({{"op", "getDomains"}}), json({{"domains", json::array()}}));

  server_.reset();
  std::ofstream(settings().socket) << "stale";
  startServer();
  EXPECT_EQ(ask({{"op", "getDomains"}}), json({{"domains", json::array()}}));
}

TEST_F(ControlServerTest, AnotherUsersConnectionIsClosedWithoutAReply) {
  server_.reset();
  ControlServerSettings strict = settings();
  strict.allowedUid = ::geteuid() + 1;
  startServer(strict);
  auto reply = exchange(settings().socket, R"({"op":"getDomains"})",
                        std::chrono::steady_clock::now() + std::chrono::seconds(5));
  ASSERT_TRUE(std::holds_alternative<Error>(reply));
  // Closed before reading the request: a reset or an end without a line.
  EXPECT_TRUE(std::get<Error>(reply).code == EPROTO || std::get<Error>(reply).code == ECONNRESET)
      << std::get<Error>(reply).code;
}

}  // namespace
}  // namespace ostrel::host
