#include "tests/host/run_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

extern char** environ;

namespace ostrel::testing {
namespace {

struct Pipe {
  int read = -1;
  int write = -1;
  Pipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    read = fds[0];
    write = fds[1];
  }
};

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input) {
  ::signal(SIGPIPE, SIG_IGN);
  Pipe in, out, err;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.read, 0);
  posix_spawn_file_actions_adddup2(&actions, out.write, 1);
  posix_spawn_file_actions_adddup2(&actions, err.write, 2);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  pid_t pid = 0;
  int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  closeFd(in.read);
  closeFd(out.write);
  closeFd(err.write);
  if (spawned != 0) throw std::runtime_error("could not start " + program);

  ProcessResult result;
  std::size_t written = 0;
  if (input.empty()) closeFd(in.write);
  while (out.read >= 0 || err.read >= 0) {
    pollfd fds[3] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}, {in.write, POLLOUT, 0}};
    if (::poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (in.write >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t n = ::write(in.write, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n < 0 || written == input.size()) closeFd(in.write);
    }
    for (auto [fd, sink] : {std::pair{&out.read, &result.out}, std::pair{&err.read, &result.err}}) {
      pollfd& polled = fd == &out.read ? fds[0] : fds[1];
      if (*fd < 0 || !(polled.revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      ssize_t n = ::read(*fd, buffer, sizeof buffer);
      if (n > 0) sink->append(buffer, static_cast<std::size_t>(n));
      else if (n == 0 || errno != EINTR) closeFd(*fd);
    }
  }
  closeFd(in.write);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace ostrel::testing
