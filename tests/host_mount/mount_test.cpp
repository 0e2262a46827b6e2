// A real mount of the folder against the scripted companion app, looked at
// with ordinary clients. Every client runs under timeout(1), so a broken
// mount fails a test instead of hanging it.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/serve/domain_mount.hpp"
#include "platform/fileprovider/item.hpp"
#include "tests/support/test_companion.hpp"

extern char** environ;

namespace ostrel::testing {
namespace {

namespace fs = std::filesystem;
namespace fp = platform::fileprovider;
using namespace std::chrono_literals;

const std::string enumeratePath = "/vault/finder/enumerate";
const std::string contentPath = "/vault/finder/content";
const std::string contents = "hello, vault\n";

nlohmann::json record(const std::string& id, const std::string& filename, std::optional<std::string> folder,
                      std::int64_t size = static_cast<std::int64_t>(contents.size()), double modifiedAt = 1700000000) {
  nlohmann::json file = {{"id", id},           {"filename", filename},       {"size", size},
                         {"modifiedAt", modifiedAt}, {"residency", "device-only"}, {"materialized", true}};
  if (folder) file["folder"] = *folder;
  return file;
}

ScriptedReply listing(const std::vector<nlohmann::json>& files) {
  return ScriptedReply{.body = nlohmann::json{{"ok", true}, {"files", files}}.dump()};
}

ScriptedReply bytes(const std::string& body) {
  return ScriptedReply{.body = body, .contentType = "application/octet-stream"};
}

struct Run {
  int status = -1;
  std::string output;
};

// A shell command under a time limit, with its standard output.
Run run(const std::string& command) {
  Run result;
  std::string line = "timeout -k 2 10 " + command;
  FILE* pipe = ::popen(line.c_str(), "r");
  if (!pipe) return result;
  std::array<char, 4096> buffer{};
  std::size_t got = 0;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.output.append(buffer.data(), got);
  int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// Waits until `done` holds, up to `limit`; for what the watcher does in the
// background.
template <class Condition>
bool eventually(Condition done, std::chrono::milliseconds limit = 5000ms) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return done();
}

class MountTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "/dev/fuse is missing or not usable here";
    std::string pattern = (fs::temp_directory_path() / "ostrel-mount-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    mountPoint_ = root_ / "CloudStorage" / "Ostrel";
    home_.write(companion_.port());
    companion_.script(enumeratePath, listing(files_));
    companion_.script(contentPath, bytes(contents));
  }

  void TearDown() override {
    if (mount_) mount_->stop();
    if (!root_.empty()) {
      // A broken stop must not leave a mount behind for the next test.
      run("fusermount3 -u -z " + quoted(mountPoint_) + " 2>/dev/null");
      std::error_code ignored;
      fs::remove_all(root_, ignored);
    }
  }

  // Mounts, or skips the test when this machine does not let us.
  void mount(std::chrono::milliseconds interval = 200ms) {
    host::MountSettings settings{.mountPoint = mountPoint_, .cacheFolder = root_ / "cache",
                                 .stateFolder = root_ / "state", .changeInterval = interval};
    mount_ = host::makeDomainMount(fp::Domain{.identifier = "ostrel", .displayName = "Ostrel"}, settings);
    auto error = mount_->start();
    if (error) {
      mount_.reset();
      GTEST_SKIP() << "cannot mount here (no privilege for FUSE?): " << error->localizedDescription.value_or("");
    }
  }

  fs::path at(const std::string& relative) const { return mountPoint_ / relative; }
  std::size_t contentRequests() const {
    std::size_t count = 0;
    for (const auto& request : companion_.requests()) count += request.path == contentPath;
    return count;
  }

  std::vector<nlohmann::json> files_ = {record("f1", "a.txt", std::nullopt), record("f2", "b.txt", "docs"),
                                        record("f3", "c.txt", "docs/deep")};
  HandshakeHome home_;
  TestCompanion companion_;
  fs::path root_;
  fs::path mountPoint_;
  std::unique_ptr<host::DomainMount> mount_;
};

TEST_F(MountTest, ListsTheTreeWithFolderAndFileAttributes) {
  mount(std::chrono::hours(1));
  EXPECT_EQ(lines(run("ls -1 " + quoted(mountPoint_)).output),
            (std::vector<std::string>{"Cloud only", "Device + Cloud", "Device only"}));

  // The double answers every residency with the same records, so each
  // residency folder shows the folders derived from them.
  auto found = run("find " + quoted(mountPoint_) + " -printf './%P\\n' | sort");
  EXPECT_EQ(found.status, 0);
  EXPECT_EQ(lines(found.output),
            (std::vector<std::string>{"./", "./Cloud only", "./Cloud only/a.txt", "./Cloud only/docs",
                                      "./Cloud only/docs/b.txt", "./Cloud only/docs/deep",
                                      "./Cloud only/docs/deep/c.txt", "./Device + Cloud", "./Device + Cloud/docs",
                                      "./Device + Cloud/docs/deep", "./Device only", "./Device only/a.txt",
                                      "./Device only/docs", "./Device only/docs/b.txt", "./Device only/docs/deep",
                                      "./Device only/docs/deep/c.txt"}));

  auto file = run("stat -c '%F %a %s %Y' " + quoted(at("Device only/docs/b.txt")));
  EXPECT_EQ(file.output, "regular file 444 " + std::to_string(contents.size()) + " 1700000000\n");
  auto folder = run("stat -c '%F %a' " + quoted(at("Device only/docs")));
  EXPECT_EQ(folder.output, "directory 755\n");
  EXPECT_NE(run("ls -la " + quoted(at("Device only/docs"))).output.find("b.txt"), std::string::npos);

  // The device trees came from the working set: one listing per device
  // residency, however many folders they hold, and the same again for the
  // anchor taken just before.
  std::size_t deviceRequests = 0;
  for (const auto& request : companion_.requests()) {
    auto residency = request.query.find("residency");
    deviceRequests += request.path == enumeratePath && residency != request.query.end() &&
                      residency->second != "cloud-only";
  }
  EXPECT_EQ(deviceRequests, 4u);

  // Walking again asks the companion app nothing: the listings are kept.
  companion_.clearRecords();
  EXPECT_EQ(run("find " + quoted(mountPoint_) + " -ls >/dev/null").status, 0);
  EXPECT_EQ(companion_.requestCount(), 0u);
}

TEST_F(MountTest, NamesThatCannotBeEntriesAreLeftOutAndTwinsBothShow) {
  companion_.script(enumeratePath, listing({record("f1", "same.txt", std::nullopt), record("f2", "same.txt", std::nullopt),
                                            record("f3", "..", std::nullopt), record("f4", "up/../x", std::nullopt),
                                            record("f5", "", std::nullopt)}));
  mount();
  EXPECT_EQ(lines(run("ls -1a " + quoted(at("Device only"))).output),
            (std::vector<std::string>{".", "..", "same.txt", "same.txt (f2)"}));
  EXPECT_EQ(run("getfattr --only-values -n user.ostrel.id " + quoted(at("Device only/same.txt (f2)"))).output, "f2");
}

TEST_F(MountTest, PythonWalkSeesEveryFile) {
  mount();
  auto walked = run("python3 -c \"import os,sys\nfor d,_,fs in os.walk(sys.argv[1]):\n"
                    " [print(os.path.relpath(os.path.join(d,f),sys.argv[1])) for f in fs]\" " +
                    quoted(at("Device only")) + " | sort");
  EXPECT_EQ(lines(walked.output), (std::vector<std::string>{"a.txt", "docs/b.txt", "docs/deep/c.txt"}));
}

TEST_F(MountTest, OpeningDownloadsOnceAndReadsFromTheCache) {
  mount();
  TempFile expected("expected.txt", contents);
  EXPECT_EQ(run("cat " + quoted(at("Device only/a.txt"))).output, contents);
  EXPECT_EQ(run("cmp " + quoted(at("Device only/a.txt")) + " " + quoted(expected.path())).status, 0);
  EXPECT_EQ(contentRequests(), 1u);
  EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "cache"), fs::directory_iterator()), 1);
}

TEST_F(MountTest, NewContentVersionIsFetchedAgain) {
  mount();
  EXPECT_EQ(run("cat " + quoted(at("Device only/a.txt"))).output, contents);
  const std::string longer = "hello again, vault\n";
  companion_.script(contentPath, bytes(longer));
  companion_.script(enumeratePath,
                    listing({record("f1", "a.txt", std::nullopt, static_cast<std::int64_t>(longer.size()), 1700000100)}));
  EXPECT_TRUE(eventually([&] { return run("cat " + quoted(at("Device only/a.txt"))).output == longer; }));
  EXPECT_EQ(contentRequests(), 2u);
  // The old version left the cache.
  EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "cache"), fs::directory_iterator()), 1);
}

TEST_F(MountTest, ExtendedAttributesDescribeTheItem) {
  mount();
  auto file = at("Device only/docs/b.txt");
  auto attribute = [](const fs::path& path, const std::string& name) {
    return run("getfattr --only-values -n " + name + " " + quoted(path) + " 2>/dev/null").output;
  };
  EXPECT_EQ(attribute(file, "user.ostrel.id"), "f2");
  EXPECT_EQ(attribute(file, "user.ostrel.residency"), "device-only");
  EXPECT_EQ(attribute(file, "user.ostrel.status"), "cloud");
  run("cat " + quoted(file) + " >/dev/null");
  EXPECT_EQ(attribute(file, "user.ostrel.status"), "downloaded");
  EXPECT_EQ(attribute(at("Device only/docs"), "user.ostrel.id"), "dir:device-only/docs");

  auto listed = run("getfattr -d -m '^user\\.ostrel\\.' " + quoted(file));
  EXPECT_NE(listed.output.find("user.ostrel.id=\"f2\""), std::string::npos) << listed.output;
  EXPECT_NE(listed.output.find("user.ostrel.status=\"downloaded\""), std::string::npos) << listed.output;
  EXPECT_EQ(listed.output.find("user.ostrel.error"), std::string::npos) << listed.output;
}

// What the items' capabilities forbid never reaches the companion app.
TEST_F(MountTest, RefusesWhatTheCapabilitiesForbid) {
  mount();
  struct Case {
    const char* what;
    std::function<int()> call;
    int expected;
  };
  const std::vector<Case> cases = {
      {"open a vault file for writing", [&] { return ::open(at("Device only/a.txt").c_str(), O_WRONLY); }, EACCES},
      {"create a file at the top", [&] { return ::open(at("new.txt").c_str(), O_WRONLY | O_CREAT, 0644); }, EACCES},
      {"make a folder at the top", [&] { return ::mkdir(at("new").c_str(), 0755); }, EACCES},
      {"rename a vault file in place",
       [&] { return ::rename(at("Device only/a.txt").c_str(), at("Device only/z.txt").c_str()); }, EPERM},
      {"move a vault file to the top", [&] { return ::rename(at("Device only/a.txt").c_str(), at("a.txt").c_str()); },
       EACCES},
      {"move a residency folder", [&] { return ::rename(at("Device only").c_str(), at("Elsewhere").c_str()); },
       EPERM},
      {"truncate a vault file", [&] { return ::truncate(at("Device only/a.txt").c_str(), 0); }, EACCES},
      {"link a vault file", [&] { return ::link(at("Device only/a.txt").c_str(), at("Device only/l").c_str()); },
       EPERM},
      {"make a symbolic link", [&] { return ::symlink("a.txt", at("Device only/s").c_str()); }, EPERM},
  };
  for (const auto& c : cases) {
    errno = 0;
    int result = c.call();
    if (result >= 0 && c.expected != 0) ::close(result);
    EXPECT_EQ(result, -1) << c.what;
    EXPECT_EQ(errno, c.expected) << c.what << ": " << std::strerror(errno);
  }
  for (const auto& request : companion_.requests()) {
    EXPECT_EQ(request.path, enumeratePath) << "only listings may have been asked for";
  }
  // Deletion goes to the extension, which keeps every vault item.
  EXPECT_EQ(::unlink(at("Device only/a.txt").c_str()), -1);
  EXPECT_EQ(errno, EPERM);
  EXPECT_TRUE(fs::exists(at("Device only/a.txt")));
}

TEST_F(MountTest, ChangesAtTheCompanionShowWithinTheInterval) {
  mount();
  ASSERT_EQ(lines(run("ls -1 " + quoted(at("Device only"))).output), (std::vector<std::string>{"a.txt", "docs"}));
  ASSERT_EQ(lines(run("ls -1 " + quoted(at("Cloud only"))).output), (std::vector<std::string>{"a.txt", "docs"}));

  companion_.script(enumeratePath, listing({record("f1", "renamed.txt", std::nullopt), record("f4", "new.txt", std::nullopt)}));
  auto expected = std::vector<std::string>{"new.txt", "renamed.txt"};
  EXPECT_TRUE(eventually([&] { return lines(run("ls -1 " + quoted(at("Device only"))).output) == expected; }));
  EXPECT_TRUE(eventually([&] { return lines(run("ls -1 " + quoted(at("Cloud only"))).output) == expected; }));
  // Names that went away are gone for lookups too, not only for listings
  // (the kernel is told just after the new listing is in place).
  EXPECT_TRUE(eventually([&] { return !fs::exists(at("Device only/a.txt")); }));
  EXPECT_TRUE(eventually([&] { return !fs::exists(at("Device only/docs/b.txt")); }));
}

TEST_F(MountTest, SignalAsksForChangesAtOnce) {
  mount(std::chrono::hours(1));
  ASSERT_EQ(lines(run("ls -1 " + quoted(at("Device only"))).output), (std::vector<std::string>{"a.txt", "docs"}));
  companion_.script(enumeratePath, listing({record("f4", "new.txt", std::nullopt)}));
  mount_->signalEnumerator(std::string(fp::workingSetContainer));
  EXPECT_TRUE(eventually([&] {
    return lines(run("ls -1 " + quoted(at("Device only"))).output) == std::vector<std::string>{"new.txt"};
  }));
}

TEST_F(MountTest, CompanionGoneKeepsListingAndCacheAndFailsOtherOpensAtOnce) {
  mount();
  ASSERT_EQ(run("cat " + quoted(at("Device only/a.txt"))).output, contents);
  ASSERT_EQ(run("ls " + quoted(at("Device only/docs/deep"))).status, 0);

  home_.removeHandshake();
  // The watcher learns of it at its next tick.
  EXPECT_TRUE(eventually([&] {
    return !run("getfattr --only-values -n user.ostrel.error " + quoted(at("Device only")) + " 2>/dev/null")
                .output.empty();
  }));

  EXPECT_EQ(lines(run("ls -1 " + quoted(at("Device only"))).output), (std::vector<std::string>{"a.txt", "docs"}));
  EXPECT_EQ(run("cat " + quoted(at("Device only/a.txt"))).output, contents);

  auto started = std::chrono::steady_clock::now();
  int fd = ::open(at("Device only/docs/b.txt").c_str(), O_RDONLY);
  int openError = errno;
  auto took = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(fd, -1);
  EXPECT_EQ(openError, EHOSTDOWN);
  // Far below the bridge's own deadline of a minute and more.
  EXPECT_LT(took, 5s);
  if (fd >= 0) ::close(fd);

  auto sentence = run("getfattr --only-values -n user.ostrel.error " + quoted(at("Device only/docs/b.txt")));
  EXPECT_NE(sentence.output.find("Ostrel"), std::string::npos) << sentence.output;

  // Back again: declared resolved, the next open downloads.
  home_.write(companion_.port());
  mount_->errorResolved(fp::Error::fileProvider(fp::errorCode::serverUnreachable));
  EXPECT_TRUE(eventually([&] { return run("cat " + quoted(at("Device only/docs/b.txt"))).output == contents; }));
}

TEST_F(MountTest, PreserveCopiesDownloadedFilesOnly) {
  mount();
  run("cat " + quoted(at("Device only/docs/b.txt")) + " >/dev/null");
  EXPECT_EQ(mount_->preserve(fp::RemovalMode::preserveDirtyUserData, root_ / "dirty"), std::nullopt);

  // A removal may stop the mount before it preserves.
  mount_->stop();
  auto kept = mount_->preserve(fp::RemovalMode::preserveDownloadedUserData, root_ / "kept");
  ASSERT_EQ(kept, root_ / "kept");
  std::ifstream copy(root_ / "kept" / "Device only" / "docs" / "b.txt");
  std::stringstream text;
  text << copy.rdbuf();
  EXPECT_EQ(text.str(), contents);
  EXPECT_FALSE(fs::exists(root_ / "kept" / "Device only" / "a.txt"));

  // A later host, never mounted, still finds the cache and names its files.
  auto later = host::makeDomainMount(fp::Domain{.identifier = "ostrel", .displayName = "Ostrel"},
                                     host::MountSettings{.mountPoint = mountPoint_, .cacheFolder = root_ / "cache"});
  ASSERT_EQ(later->preserve(fp::RemovalMode::preserveDownloadedUserData, root_ / "later"), root_ / "later");
  EXPECT_TRUE(fs::exists(root_ / "later" / "Device only" / "docs" / "b.txt"));
}

TEST_F(MountTest, StopUnmountsAndStartMountsAgain) {
  mount();
  ASSERT_EQ(run("ls " + quoted(mountPoint_)).status, 0);
  // A live mount is not taken over by a second one.
  auto second = host::makeDomainMount(fp::Domain{.identifier = "ostrel", .displayName = "Ostrel"},
                                      host::MountSettings{.mountPoint = mountPoint_, .cacheFolder = root_ / "cache2"});
  EXPECT_NE(second->start(), std::nullopt);
  EXPECT_EQ(lines(run("ls -1 " + quoted(mountPoint_)).output).size(), 3u);
  // A file left open does not keep stop from returning.
  int open = ::open(at("Device only/a.txt").c_str(), O_RDONLY);
  ASSERT_GE(open, 0);
  mount_->stop();
  mount_->stop();
  char byte = 0;
  EXPECT_EQ(::read(open, &byte, 1), -1);
  ::close(open);
  EXPECT_EQ(run("ls -A " + quoted(mountPoint_)).output, "");
  ASSERT_EQ(mount_->start(), std::nullopt);
  EXPECT_EQ(lines(run("ls -1 " + quoted(mountPoint_)).output).size(), 3u);
}

TEST_F(MountTest, StartDetachesTheMountOfAKilledHost) {
  // A host killed while serving leaves a mount whose every access fails.
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::string helperPath = OSTREL_MOUNT_HELPER, point = mountPoint_.string(), cache = (root_ / "helper-cache").string();
  char* argv[] = {helperPath.data(), point.data(), cache.data(), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, helperPath.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  std::string said;
  char c = 0;
  while (said.size() < 16 && ::read(out[0], &c, 1) == 1 && c != '\n') said.push_back(c);
  ::close(out[0]);
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  if (said != "mounted") GTEST_SKIP() << "the helper could not mount here";

  // The root's attributes may still be cached; opening it asks the host.
  ASSERT_EQ(::open(mountPoint_.c_str(), O_RDONLY | O_DIRECTORY), -1);
  ASSERT_EQ(errno, ENOTCONN);

  mount();
  EXPECT_EQ(lines(run("ls -1 " + quoted(mountPoint_)).output).size(), 3u);
}

}  // namespace
}  // namespace ostrel::testing
