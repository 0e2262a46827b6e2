#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include <nlohmann/json.hpp>

#include "fpctl/commands.hpp"
#include "fpctl/wait.hpp"
#include "platform/fileprovider/control_socket.hpp"
#include "platform/fileprovider/control_socket_client.hpp"

namespace ostrel::platform::fileprovider {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using fpctl::Answer;
using fpctl::Seconds;

// Generous: only a hung client would reach it.
constexpr Seconds kPatience{10};

// A stand-in for the host's end of the socket. `reply` maps a request line to
// the reply line; nothing keeps the connection open without a word.
class FakeHostSocket {
 public:
  using Replier = std::function<std::optional<std::string>(const json& request)>;

  FakeHostSocket(fs::path path, Replier reply) : path_(std::move(path)), reply_(std::move(reply)) {
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof(address.sun_path) - 1);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::chmod(path_.c_str(), 0600) != 0 || ::listen(listener_, 16) != 0) {
      ADD_FAILURE() << "cannot listen at " << path_ << ": " << std::strerror(errno);
    }
    thread_ = std::thread([this] { serve(); });
  }

  ~FakeHostSocket() {
    stop_ = true;
    thread_.join();
    for (int fd : held_) ::close(fd);
    ::close(listener_);
    fs::remove(path_);
  }

  std::vector<json> requests() {
    std::lock_guard guard(lock_);
    return requests_;
  }

 private:
  void serve() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::string line;
      char ch;
      while (::recv(fd, &ch, 1, 0) == 1 && ch != '\n') line += ch;
      json request = json::parse(line, nullptr, false);
      {
        std::lock_guard guard(lock_);
        requests_.push_back(request);
      }
      if (auto answer = reply_(request)) {
        *answer += "\n";
        ::send(fd, answer->data(), answer->size(), MSG_NOSIGNAL);
        ::close(fd);
      } else {
        held_.push_back(fd);
      }
    }
  }

  fs::path path_;
  Replier reply_;
  int listener_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::vector<int> held_;  // touched by the serving thread, then the destructor
  std::mutex lock_;
  std::vector<json> requests_;  // guarded by lock_
};

class ControlSocket : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("fpctl-sock-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path socket() const { return dir_ / "fphost.sock"; }

  fs::path dir_;
};

std::optional<Error> addAndWait(ControlSocketClient& client) {
  auto answer = std::make_shared<Answer<std::optional<Error>>>();
  client.addDomain({"ostrel", "Ostrel"}, [answer](std::optional<Error> e) { answer->set(e); });
  auto result = answer->waitFor(kPatience);
  EXPECT_TRUE(result.has_value()) << "the client never called back";
  return result.value_or(std::nullopt);
}

TEST_F(ControlSocket, WithoutAHostFailsAtOnceNamingTheSocket) {
  ControlSocketClient client(socket(), Seconds(25));
  std::optional<Error> error = addAndWait(client);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, kControlSocketErrorDomain);
  EXPECT_EQ(error->code, ENOENT);
  EXPECT_NE(error->localizedDescription->find(socket().string()), std::string::npos);
}

TEST_F(ControlSocket, RefusesWhatIsNotASocket) {
  std::ofstream(socket()) << "x";
  ControlSocketClient client(socket(), Seconds(25));
  std::optional<Error> error = addAndWait(client);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, EACCES);
}

TEST_F(ControlSocket, GivesUpOnASilentHostAtItsTimeout) {
  FakeHostSocket host(socket(), [](const json&) { return std::nullopt; });
  ControlSocketClient client(socket(), Seconds(0.2));
  std::optional<Error> error = addAndWait(client);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, ETIMEDOUT);
}

TEST_F(ControlSocket, CarriesEachRequestAndItsAnswer) {
  FakeHostSocket host(socket(), [](const json& request) -> std::optional<std::string> {
    std::string op = request.value("op", "");
    if (op == "getDomains") {
      return R"({"domains":[{"identifier":"ostrel","displayName":"Ostrel"},{"identifier":"x"}]})";
    }
    if (op == "removeDomain") return R"j({"preservedAt":"/home/u/Ostrel (Removed)"})j";
    if (op == "signalEnumerator" && request["container"] == "cloud-only") {
      return R"({"error":{"domain":"NSFileProviderErrorDomain","code":-1005,"description":"gone"}})";
    }
    return "{}";
  });
  ControlSocketClient client(socket(), Seconds(5));

  auto listed = std::make_shared<Answer<std::vector<Domain>>>();
  client.getDomains([listed](std::vector<Domain> d, std::optional<Error>) { listed->set(d); });
  EXPECT_EQ(listed->waitFor(kPatience),
            (std::vector<Domain>{{"ostrel", "Ostrel"}, {"x", ""}}));

  EXPECT_EQ(addAndWait(client), std::nullopt);

  auto removed = std::make_shared<Answer<std::optional<fs::path>>>();
  client.removeDomain({"ostrel", ""}, RemovalMode::preserveDirtyUserData,
                      [removed](std::optional<fs::path> at, std::optional<Error>) {
                        removed->set(at);
                      });
  EXPECT_EQ(removed->waitFor(kPatience), std::optional<fs::path>("/home/u/Ostrel (Removed)"));

  auto manager = client.managerForDomain({"ostrel", "Ostrel"});
  ASSERT_TRUE(manager);
  auto resolved = std::make_shared<Answer<std::optional<Error>>>();
  manager->signalErrorResolved(Error::fileProvider(errorCode::serverUnreachable),
                               [resolved](std::optional<Error> e) { resolved->set(e); });
  EXPECT_EQ(resolved->waitFor(kPatience),
            std::optional<std::optional<Error>>(std::in_place, std::nullopt));
  auto signalled = std::make_shared<Answer<std::optional<Error>>>();
  manager->signalEnumerator("cloud-only",
                            [signalled](std::optional<Error> e) { signalled->set(e); });
  EXPECT_EQ(signalled->waitFor(kPatience),
            std::optional<std::optional<Error>>(
                Error{"NSFileProviderErrorDomain", -1005, "gone"}));

  std::vector<json> requests = host.requests();
  std::vector<json> expected{
      {{"op", "getDomains"}},
      {{"op", "addDomain"}, {"domain", {{"identifier", "ostrel"}, {"displayName", "Ostrel"}}}},
      {{"op", "removeDomain"}, {"domain", {{"identifier", "ostrel"}}}, {"mode", 1}},
      {{"op", "signalErrorResolved"},
       {"domain", {{"identifier", "ostrel"}, {"displayName", "Ostrel"}}},
       {"error", {{"domain", "NSFileProviderErrorDomain"}, {"code", -1004}}}},
      {{"op", "signalEnumerator"},
       {"domain", {{"identifier", "ostrel"}, {"displayName", "Ostrel"}}},
       {"container", "cloud-only"}}};
  EXPECT_EQ(requests, expected);
}

class MalformedReply : public ControlSocket, public ::testing::WithParamInterface<std::string> {};

TEST_P(MalformedReply, IsAProtocolError) {
  std::string reply = GetParam();
  FakeHostSocket host(socket(), [reply](const json&) { return reply; });
  ControlSocketClient client(socket(), Seconds(5));
  auto answer = std::make_shared<Answer<std::optional<Error>>>();
  client.getDomains([answer](std::vector<Domain> domains, std::optional<Error> error) {
    EXPECT_TRUE(domains.empty());
    answer->set(error);
  });
  auto error = answer->waitFor(kPatience).value_or(std::nullopt);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, kControlSocketErrorDomain);
  EXPECT_EQ(error->code, EPROTO);
}

INSTANTIATE_TEST_SUITE_P(Replies, MalformedReply,
                         ::testing::Values("not json", "[]", R"({"domains":5})",
                                           R"({"domains":[{"identifier":1}]})",
                                           R"({"domains":[{}]})", R"({"error":{"code":"x"}})",
                                           R"({"error":{"code":1}})"));

TEST_F(ControlSocket, TheToolWorksThroughIt) {
  FakeHostSocket host(socket(), [](const json& request) -> std::optional<std::string> {
    if (request["op"] == "getDomains") return R"({"domains":[{"identifier":"ostrel"}]})";
    return "{}";
  });
  ControlSocketClient client(socket(), Seconds(5));
  fpctl::Context context{client, Seconds(5), [] { return fpctl::LocationVerdict{true, {}}; }};

  fpctl::Output status = fpctl::cmdStatus(context);
  EXPECT_EQ(status.object["registered"], true);

  fpctl::Output signal = fpctl::cmdSignal(context);
  EXPECT_EQ(signal.exit, 0);
  EXPECT_EQ(signal.object["signalled"].size(), 4u);
  EXPECT_EQ(signal.object["errorResolved"], "serverUnreachable");
}

TEST(ControlSocketPath, LiesInTheUsersRuntimeFolder) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  std::optional<std::string> restore = saved ? std::optional<std::string>(saved) : std::nullopt;
  ::setenv("XDG_RUNTIME_DIR", "/run/user/1234", 1);
  EXPECT_EQ(controlSocketPath(), fs::path("/run/user/1234/ostrel/fphost.sock"));
  ::setenv("XDG_RUNTIME_DIR", "relative", 1);
  EXPECT_EQ(controlSocketPath(),
            fs::path("/run/user/" + std::to_string(::geteuid()) + "/ostrel/fphost.sock"));
  if (restore) {
    ::setenv("XDG_RUNTIME_DIR", restore->c_str(), 1);
  } else {
    ::unsetenv("XDG_RUNTIME_DIR");
  }
}

}  // namespace
}  // namespace ostrel::platform::fileprovider
