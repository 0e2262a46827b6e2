// The write path with the real binaries: files and folders made with real
// clients reach the vault of the reference companion app, refusals keep
// the user's file visible, and no crash of the host or the companion app
// loses a dropped file.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "e2e_support.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace ostrel::testing;
using json = nlohmann::json;
using namespace std::chrono_literals;

struct Outcome {
  int status = -1;
  std::string output;
};

// A shell command under a time limit, with its standard output.
Outcome run(const std::string& command, int seconds = 60) {
  Outcome result;
  std::string line = "timeout -k 2 " + std::to_string(seconds) + " " + command;
  FILE* pipe = ::popen(line.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, got);
  int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

std::optional<std::string> xattr(const fs::path& path, const char* name) {
  char value[4096];
  ssize_t n = ::getxattr(path.c_str(), name, value, sizeof value);
  if (n < 0) return std::nullopt;
  return std::string(value, static_cast<std::size_t>(n));
}

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

class WritePath : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "/dev/fuse is missing or not usable here";
    dir_ = fs::temp_directory_path() / ("write-e2e-" + std::to_string(::getpid()));
    fs::path bundle = isolatedInstall(dir_, OSTREL_FPCTL_PATH, OSTREL_FPHOST_PATH);
    tool_ = bundle / "ostrel-fpctl";
    host_ = bundle / "ostrel-fphost";
    startCompanion({"--seed", "demo"});
    ASSERT_EQ(tool("register")["ok"], true);
    ASSERT_TRUE(eventually([&] { return mounted(mountPoint()); }));
  }

  void TearDown() override {
    if (dir_.empty()) return;
    stopHost();
    stopCompanion();
    if (mounted(mountPoint())) run("fusermount3 -uz " + quoted(mountPoint()));
    fs::remove_all(dir_);
  }

  void startCompanion(std::vector<std::string> words) {
    words.insert(words.begin(), OSTREL_COMPANION_PATH);
    for (const char* fixed : {"--test-controls", "--keep-alive-seconds", "1"}) words.emplace_back(fixed);
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (dir_ / "companion.out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_EQ(::posix_spawn(&companion_, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_TRUE(eventually([&] { return readAll(dir_ / "companion.out").find("ready port=") != std::string::npos; }));
  }

  void stopCompanion() {
    if (companion_ <= 0) return;
    ::kill(companion_, SIGTERM);
    ::waitpid(companion_, nullptr, 0);
    companion_ = -1;
  }

  void stopHost(int signal = SIGTERM) {
    pid_t host = listenerOf(socket());
    if (host <= 0) return;
    ::kill(host, signal);
    eventually([&] { return exited(host); });
  }

  json tool(const std::string& words) const {
    return json::parse(run(tool_.string() + " " + words).output, nullptr, false);
  }

  // One of the companion app's test controls, with the token of its handshake.
  json control(const std::string& path, const json& body) const {
    json handshake = json::parse(readAll(dir_ / "XDG_DATA_HOME" / "group-containers" /
                                         "K7Q2XW9MLR.com.ostrel.app" / "finder-drive-handshake.json"),
                                 nullptr, false);
    std::string url = "http://127.0.0.1:" + std::to_string(handshake.value("port", 0)) + path;
    std::string command = "curl -s -X POST -H 'Content-Type: application/json' -H 'X-Ostrel-Sync-Token: " +
                          handshake.value("token", std::string()) + "' --data '" + body.dump() + "' " + url;
    return json::parse(run(command).output, nullptr, false);
  }

  // The companion app's stored bytes of a vault file.
  std::string blob(const std::string& id) const {
    return readAll(dir_ / "XDG_DATA_HOME" / "ostrel-companion" / "vault" / "blobs" / id);
  }

  // Waits until the file at `path` is a vault item; its identifier.
  std::optional<std::string> vaultIdOf(const fs::path& path, std::chrono::milliseconds limit = 15s) const {
    std::optional<std::string> id;
    eventually([&] { return (id = xattr(path, "user.ostrel.id")).has_value(); }, limit);
    return id;
  }

  fs::path socket() const { return dir_ / "XDG_RUNTIME_DIR" / "ostrel" / "fphost.sock"; }
  fs::path mountPoint() const { return dir_ / "CloudStorage" / "Ostrel"; }
  fs::path at(const std::string& relative) const { return mountPoint() / relative; }
  fs::path source(const std::string& name, const std::string& bytes) const {
    fs::path path = dir_ / "sources" / name;
    fs::create_directories(path.parent_path());
    writeFile(path, bytes);
    return path;
  }

  fs::path dir_;
  fs::path tool_;
  fs::path host_;
  pid_t companion_ = -1;
};

// Each operation in each kind of place, with the errno a client sees.
TEST_F(WritePath, OperationsByPlace) {
  struct Case {
    const char* what;
    std::function<int()> call;
    int expected;  // 0: succeeds
  };
  auto closed = [](int fd) {
    if (fd >= 0) ::close(fd);
    return fd < 0 ? -1 : 0;
  };
  const std::vector<Case> cases = {
      {"file at the top", [&] { return closed(::open(at("top.txt").c_str(), O_WRONLY | O_CREAT, 0644)); }, EACCES},
      {"folder at the top", [&] { return ::mkdir(at("Top").c_str(), 0755); }, EACCES},
      {"trash folder at the top", [&] { return ::mkdir(at(".Trash-1000").c_str(), 0700); }, EACCES},
      {"file in a residency folder",
       [&] { return closed(::open(at("Device only/new.txt").c_str(), O_WRONLY | O_CREAT, 0644)); }, 0},
      {"file in a sub-folder",
       [&] { return closed(::open(at("Device + Cloud/Photos/new.txt").c_str(), O_WRONLY | O_CREAT, 0644)); }, 0},
      {"folder in a residency folder", [&] { return ::mkdir(at("Cloud only/Made").c_str(), 0755); }, 0},
      {"folder in a new folder", [&] { return ::mkdir(at("Cloud only/Made/Deeper").c_str(), 0755); }, 0},
      {"hidden folder", [&] { return ::mkdir(at("Device only/.git").c_str(), 0755); }, EPERM},
      {"trash folder in a residency folder", [&] { return ::mkdir(at("Device only/.Trash-1000").c_str(), 0700); },
       EPERM},
      {"vault file opened for writing", [&] { return closed(::open(at("Device only/Welcome.txt").c_str(), O_WRONLY)); },
       EACCES},
      {"vault file removed", [&] { return ::unlink(at("Device only/Welcome.txt").c_str()); }, EPERM},
      {"vault sub-folder removed", [&] { return ::rmdir(at("Device only/Notes").c_str()); }, ENOTEMPTY},
      {"residency folder removed", [&] { return ::rmdir(at("Cloud only").c_str()); }, ENOTEMPTY},
      {"vault file renamed in place",
       [&] { return ::rename(at("Device only/Welcome.txt").c_str(), at("Device only/Hello.txt").c_str()); }, EPERM},
      {"vault file moved to the top",
       [&] { return ::rename(at("Device only/Welcome.txt").c_str(), at("Welcome.txt").c_str()); }, EACCES},
      {"vault folder moved", [&] { return ::rename(at("Device only/Notes").c_str(), at("Cloud only/Notes2").c_str()); },
       EPERM},
      {"new file renamed", [&] { return ::rename(at("Device only/new.txt").c_str(), at("Device only/n.txt").c_str()); },
       0},
      {"new file removed", [&] { return ::unlink(at("Device only/n.txt").c_str()); }, 0},
      {"new empty folder renamed", [&] { return ::rename(at("Cloud only/Made/Deeper").c_str(),
                                                         at("Cloud only/Made/Renamed").c_str()); }, 0},
      {"new folder with a folder inside renamed",
       [&] { return ::rename(at("Cloud only/Made").c_str(), at("Cloud only/Other").c_str()); }, EXDEV},
      {"new empty folder removed", [&] { return ::rmdir(at("Cloud only/Made/Renamed").c_str()); }, 0},
  };
  for (const auto& c : cases) {
    errno = 0;
    int result = c.call();
    if (c.expected == 0) {
      EXPECT_EQ(result, 0) << c.what << ": " << std::strerror(errno);
    } else {
      EXPECT_EQ(result, -1) << c.what;
      EXPECT_EQ(errno, c.expected) << c.what << ": " << std::strerror(errno);
    }
  }
  // The refused folder's sentence is on the folder it was made in.
  auto sentence = xattr(at("Device only"), "user.ostrel.error");
  ASSERT_TRUE(sentence.has_value());
  EXPECT_NE(sentence->find("is a hidden folder and was skipped."), std::string::npos) << *sentence;
  EXPECT_TRUE(fs::is_directory(at("Cloud only/Made")));
  EXPECT_TRUE(fs::exists(at("Device only/Welcome.txt")));
}

TEST_F(WritePath, RealClientsPutFilesIntoTheVault) {
  const std::string text = "a file dropped with cp\n";
  ASSERT_EQ(run("cp " + quoted(source("cp.txt", text)) + " " + quoted(at("Device only/"))).status, 0);

  fs::create_directories(dir_ / "tree" / "inner");
  writeFile(dir_ / "tree" / "top.txt", "top\n");
  writeFile(dir_ / "tree" / "inner" / "deep.txt", "deep\n");
  Outcome rsync = run("rsync -a " + quoted(dir_ / "tree") + "/ " + quoted(at("Device + Cloud/Synced")) + "/");
  ASSERT_EQ(rsync.status, 0) << rsync.output;

  Outcome python = run("python3 -c \"open('" + at("Cloud only/py.txt").string() + "', 'w').write('from python')\"");
  ASSERT_EQ(python.status, 0);

  ASSERT_EQ(::mkdir(at("Device only/Fresh").c_str(), 0755), 0);
  ASSERT_EQ(run("cp " + quoted(source("in-fresh.txt", "inside")) + " " + quoted(at("Device only/Fresh/"))).status, 0);

  struct Expected {
    const char* path;
    std::string bytes;
    const char* residency;
  };
  for (const auto& e : std::vector<Expected>{{"Device only/cp.txt", text, "device-only"},
                                             {"Device + Cloud/Synced/top.txt", "top\n", "device-and-cloud"},
                                             {"Device + Cloud/Synced/inner/deep.txt", "deep\n", "device-and-cloud"},
                                             {"Cloud only/py.txt", "from python", "cloud-only"},
                                             {"Device only/Fresh/in-fresh.txt", "inside", "device-only"}}) {
    auto id = vaultIdOf(at(e.path));
    ASSERT_TRUE(id.has_value()) << e.path << " never became a vault item; status "
                                << xattr(at(e.path), "user.ostrel.status").value_or("none");
    // The staged bytes serve the device residencies without a download.
    EXPECT_EQ(xattr(at(e.path), "user.ostrel.status"),
              std::string(e.residency) == "cloud-only" ? "cloud" : "downloaded") << e.path;
    EXPECT_EQ(blob(*id), e.bytes) << e.path;
    EXPECT_EQ(readAll(at(e.path)), e.bytes) << e.path;
    EXPECT_EQ(xattr(at(e.path), "user.ostrel.residency"), e.residency) << e.path;
    struct stat st {};
    ASSERT_EQ(::stat(at(e.path).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u) << e.path << " is a read-only vault file now";
  }
  EXPECT_EQ(json::parse(run(host_.string() + " status").output)["domains"][0]["pending"], json::array());
}

TEST_F(WritePath, AHiddenFileIsRefusedStaysVisibleAndLandsOnceRenamed) {
  const fs::path hidden = at("Device only/.secret.txt");
  ASSERT_EQ(run("cp " + quoted(source("secret.txt", "psst")) + " " + quoted(hidden)).status, 0);
  ASSERT_TRUE(eventually([&] { return xattr(hidden, "user.ostrel.status") == "excluded"; }));
  EXPECT_EQ(xattr(hidden, "user.ostrel.error"), "\u201C.secret.txt\u201D is a hidden file and was skipped.");
  EXPECT_EQ(readAll(hidden), "psst");

  ASSERT_EQ(::rename(hidden.c_str(), at("Device only/secret.txt").c_str()), 0);
  auto id = vaultIdOf(at("Device only/secret.txt"));
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(blob(*id), "psst");
  EXPECT_FALSE(fs::exists(hidden));
}

TEST_F(WritePath, MoveBetweenResidencyFoldersReparents) {
  ASSERT_EQ(run("mv " + quoted(at("Device only/Welcome.txt")) + " " + quoted(at("Cloud only/"))).status, 0);
  // Where the companion app keeps it: the new residency, the same folder path.
  EXPECT_TRUE(eventually([&] {
    return xattr(at("Cloud only/Welcome.txt"), "user.ostrel.residency") == "cloud-only" &&
           !fs::exists(at("Device only/Welcome.txt"));
  }));
}

TEST_F(WritePath, DropWhileTheCompanionIsStoppedLandsOnceItIsBackAndResolved) {
  // The folder as the user last saw it.
  ASSERT_TRUE(fs::exists(at("Device only/Welcome.txt")));
  stopCompanion();
  const fs::path dropped = at("Device only/while-away.txt");
  ASSERT_EQ(run("cp " + quoted(source("while-away.txt", "kept safe")) + " " + quoted(dropped)).status, 0);
  ASSERT_TRUE(eventually([&] { return xattr(dropped, "user.ostrel.status") == "excluded"; }));
  EXPECT_NE(xattr(dropped, "user.ostrel.error").value_or("").find("Open Ostrel, then add it again."),
            std::string::npos);
  EXPECT_EQ(readAll(dropped), "kept safe") << "an excluded file still reads";
  json status = json::parse(run(host_.string() + " status").output);
  ASSERT_EQ(status["domains"][0]["excluded"].size(), 1u) << status;
  EXPECT_EQ(status["domains"][0]["excluded"][0]["path"], "Device only/while-away.txt");

  // A host restart keeps it as it was.
  stopHost();
  startCompanion({});
  EXPECT_EQ(tool("status")["registered"], true);
  ASSERT_TRUE(eventually([&] { return mounted(mountPoint()); }));
  EXPECT_EQ(xattr(dropped, "user.ostrel.status"), "excluded");

  EXPECT_EQ(tool("signal")["ok"], true);
  auto id = vaultIdOf(dropped);
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(blob(*id), "kept safe");
}

TEST_F(WritePath, ThreeFailedUploadsDeadLetterTheFileAndUnregisterKeepsIt) {
  for (const char* path : {"/vault/finder/ingest", "/vault/finder/ingest-stream"}) {
    ASSERT_EQ(control("/test/fault", {{"path", path}, {"status", 500}, {"body", "{\"error\":\"disk on fire\"}"}})
                  .value("ok", false),
              true);
  }
  const fs::path dropped = at("Device + Cloud/doomed.txt");
  ASSERT_EQ(run("cp " + quoted(source("doomed.txt", "doomed")) + " " + quoted(dropped)).status, 0);
  ASSERT_TRUE(eventually([&] { return xattr(dropped, "user.ostrel.status") == "excluded"; }, 30s))
      << xattr(dropped, "user.ostrel.status").value_or("none");
  EXPECT_EQ(xattr(dropped, "user.ostrel.error").value_or("").rfind("Could not add doomed.txt after 3 attempts: ", 0),
            0u)
      << xattr(dropped, "user.ostrel.error").value_or("");

  json removed = tool("unregister");
  ASSERT_EQ(removed["ok"], true) << removed;
  ASSERT_EQ(removed["preservedAt"].size(), 1u) << removed;
  fs::path kept = removed["preservedAt"][0].get<std::string>();
  EXPECT_EQ(readAll(kept / "Device + Cloud" / "doomed.txt"), "doomed");
}

TEST_F(WritePath, AHostKilledInTheMiddleOfACopyStillIngestsTheFileAfterARestart) {
  const fs::path dropped = at("Device only/interrupted.bin");
  // A writer that is still writing when the host dies.
  std::string script = "import time\nf = open('" + dropped.string() + "', 'wb')\n"
                       "for i in range(600):\n    f.write(b'x' * 4096); f.flush(); time.sleep(0.01)\n";
  writeFile(dir_ / "writer.py", script);
  FILE* writer = ::popen(("timeout 30 python3 " + quoted(dir_ / "writer.py") + " 2>/dev/null").c_str(), "r");
  ASSERT_NE(writer, nullptr);
  ASSERT_TRUE(eventually([&] {
    struct stat st {};
    return ::stat(dropped.c_str(), &st) == 0 && st.st_size > 8 * 4096;
  }));
  stopHost(SIGKILL);
  ::pclose(writer);

  // Any command starts the host again; it clears the dead mount and offers
  // what was written so far.
  EXPECT_EQ(tool("status")["registered"], true);
  ASSERT_TRUE(eventually([&] { return mounted(mountPoint()); }));
  auto id = vaultIdOf(dropped);
  ASSERT_TRUE(id.has_value()) << xattr(dropped, "user.ostrel.status").value_or("none");
  std::string stored = blob(*id);
  EXPECT_GT(stored.size(), 8u * 4096);
  EXPECT_EQ(stored.find_first_not_of('x'), std::string::npos);
}

TEST_F(WritePath, AGibibyteGoesThroughTheStreamingIngest) {
  stopCompanion();
  startCompanion({"--stream-ingest"});
  EXPECT_EQ(tool("signal")["ok"], true);
  const fs::path big = dir_ / "big.bin";
  ASSERT_EQ(run("head -c 1073741824 /dev/zero > " + quoted(big) + " && printf end >> " + quoted(big)).status, 0);
  ASSERT_EQ(run("cp " + quoted(big) + " " + quoted(at("Device + Cloud/")), 300).status, 0);
  auto id = vaultIdOf(at("Device + Cloud/big.bin"), 300s);
  ASSERT_TRUE(id.has_value());
  fs::path stored = dir_ / "XDG_DATA_HOME" / "ostrel-companion" / "vault" / "blobs" / *id;
  EXPECT_EQ(fs::file_size(stored), fs::file_size(big));
  EXPECT_EQ(run("cmp " + quoted(stored) + " " + quoted(big), 300).status, 0);
}

}  // namespace
