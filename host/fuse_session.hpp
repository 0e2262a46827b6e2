#pragma once

// A mounted FUSE session and the threads that serve it. It cannot be
// copied; destroying it unmounts and joins.

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

struct fuse_session;
struct fuse_lowlevel_ops;

namespace ostrel::host {

class FuseSession {
 public:
  // Mounts at `mountPoint` with the given -o options; throws
  // std::runtime_error with the reason when it cannot.
  FuseSession(const std::filesystem::path& mountPoint, const fuse_lowlevel_ops& operations, void* userdata,
              const std::string& options);
  ~FuseSession();
  FuseSession(const FuseSession&) = delete;
  FuseSession& operator=(const FuseSession&) = delete;

  // Serves on a multi-threaded loop of its own.
  void start(unsigned maxIdleThreads);
  // Unmounts and joins; safe to call more than once.
  void stop();

  // Kernel notifications; call them from no request handler.
  void invalidateEntry(std::uint64_t parent, const std::string& name);
  void invalidateInode(std::uint64_t ino);

 private:
  // Ends the kernel connection even while files on it are open.
  bool abortConnection();

  fuse_session* session_ = nullptr;
  std::filesystem::path mountPoint_;
  dev_t device_ = 0;  // of the mounted file system, for aborting a stuck connection
  std::thread loop_;
  std::mutex mutex_;
  std::condition_variable ended_;
  bool loopEnded_ = false;  // guarded by mutex_
  bool mounted_ = false;
};

}  // namespace ostrel::host
