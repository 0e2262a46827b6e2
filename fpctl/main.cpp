// ostrel-fpctl: registers, removes, reports and signals the Ostrel domain of
// the file-provider host. Prints one JSON line and ends with a fixed status.

#include <exception>
#include <string>
#include <vector>

#include "fpctl/commands.hpp"
#include "fpctl/host_start.hpp"
#include "platform/fileprovider/control_socket.hpp"
#include "platform/fileprovider/control_socket_client.hpp"

int main(int argc, char** argv) {
  using namespace ostrel;
  std::vector<std::string> args(argv, argv + argc);
  try {
    auto socket = platform::fileprovider::controlSocketPath();
    platform::fileprovider::ControlSocketClient host(
        socket, fpctl::Seconds(fpctl::TIMEOUT),
        fpctl::hostStarter(fpctl::siblingHost(), socket, fpctl::hostLogPath()));
    fpctl::Context context{host};
    fpctl::Output out = fpctl::dispatch(args, context);
    // emit ends the process here, so the client's destructor never waits for
    // requests that the command already gave up on.
    fpctl::emit(out.object, out.exit);
  } catch (const std::exception& e) {
    fpctl::emit({{"ok", false}, {"code", "internal"}, {"error", e.what()}}, 70);
  } catch (...) {
    fpctl::emit({{"ok", false}, {"code", "internal"}, {"error", "unexpected failure"}}, 70);
  }
}
