#include "host/fuse_session.hpp"

#include <fuse_lowlevel.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/sysmacros.h>

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "host/serve/stale_mount.hpp"
#include "platform/log.hpp"

namespace ostrel::host {

FuseSession::FuseSession(const std::filesystem::path& mountPoint, const fuse_lowlevel_ops& operations,
                         void* userdata, const std::string& options)
    : mountPoint_(mountPoint) {
  std::vector<std::string> words = {"ostrel-fphost", "-o", options};
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  fuse_args args = FUSE_ARGS_INIT(static_cast<int>(argv.size()), argv.data());
  session_ = fuse_session_new(&args, &operations, sizeof operations, userdata);
  fuse_opt_free_args(&args);
  if (!session_) throw std::runtime_error("cannot create the FUSE session");
  if (fuse_session_mount(session_, mountPoint_.c_str()) != 0) {
    fuse_session_destroy(session_);
    session_ = nullptr;
    throw std::runtime_error("cannot mount " + mountPoint_.string() + " (is /dev/fuse usable and fusermount3 installed?)");
  }
  mounted_ = true;
}

FuseSession::~FuseSession() {
  stop();
  if (session_) fuse_session_destroy(session_);
}

void FuseSession::start(unsigned maxIdleThreads) {
  loop_ = std::thread([this, maxIdleThreads] {
    fuse_loop_config config{};
    config.clone_fd = 0;
    config.max_idle_threads = maxIdleThreads;
    fuse_session_loop_mt(session_, &config);
    {
      std::lock_guard lock(mutex_);
      loopEnded_ = true;
    }
    ended_.notify_all();
  });
  // Only once the loop serves may anything look at the mount point.
  struct stat st {};
  if (::stat(mountPoint_.c_str(), &st) == 0) device_ = st.st_dev;
}

void FuseSession::stop() {
  if (!session_ || !mounted_) return;
  mounted_ = false;
  fuse_session_exit(session_);
  // Detach without closing the session's descriptor, which the loop's
  // threads are reading: the kernel ends the connection once the last open
  // file closes, and their reads then return.
  if (loop_.joinable() && !detachMount(mountPoint_)) {
    platform::providerLog().error("cannot detach {}", mountPoint_.string());
  }
  if (loop_.joinable()) {
    std::unique_lock lock(mutex_);
    if (!ended_.wait_for(lock, std::chrono::seconds(2), [this] { return loopEnded_; })) {
      lock.unlock();
      // Files still open elsewhere keep a detached mount alive; cut it off.
      if (!abortConnection()) {
        // The loop's threads use this session and the tree; no choice but
        // to wait for the last file to close.
        platform::providerLog().error("{} is still in use; waiting for its files to close", mountPoint_.string());
      }
      lock.lock();
      ended_.wait(lock, [this] { return loopEnded_; });
    }
    lock.unlock();
    loop_.join();
  }
  // Closes the descriptor; the mount is gone already when the loop ran.
  fuse_session_unmount(session_);
}

bool FuseSession::abortConnection() {
  if (device_ == 0) return false;
  const std::string connection = std::to_string(minor(device_));
  auto write = [&](const std::filesystem::path& controls) {
    std::ofstream abort(controls / connection / "abort");
    abort << "1";
    return static_cast<bool>(abort.flush());
  };
  if (write("/sys/fs/fuse/connections")) return true;
  if (::geteuid() != 0) return false;
  // The control file system is not mounted; as root, mount it privately
  // for the moment it takes.
  std::string scratch = (std::filesystem::temp_directory_path() / "ostrel-fusectl-XXXXXX").string();
  if (::mkdtemp(scratch.data()) == nullptr) return false;
  bool done = false;
  if (::mount("fusectl", scratch.c_str(), "fusectl", 0, nullptr) == 0) {
    done = write(scratch);
    ::umount2(scratch.c_str(), MNT_DETACH);
  }
  ::rmdir(scratch.c_str());
  return done;
}

void FuseSession::invalidateEntry(std::uint64_t parent, const std::string& name) {
  if (session_) fuse_lowlevel_notify_inval_entry(session_, parent, name.c_str(), name.size());
}

void FuseSession::invalidateInode(std::uint64_t ino) {
  if (session_) fuse_lowlevel_notify_inval_inode(session_, ino, 0, 0);
}

}  // namespace ostrel::host
