#pragma once

#include <string>

#include <httplib.h>

#include "companion/companion.hpp"
#include "companion/fault_plan.hpp"

namespace ostrel::companion {

// The loopback HTTP service: the five vault endpoints and, when `faults` is
// given, the test controls. Every request must carry the token.
class CompanionServer {
 public:
  CompanionServer(Companion& companion, std::string token, FaultPlan* faults, int keepAliveSeconds = 5);
  CompanionServer(const CompanionServer&) = delete;
  CompanionServer& operator=(const CompanionServer&) = delete;

  // Binds 127.0.0.1 on a port the kernel picks and returns it; negative on
  // failure.
  int bind();
  // Serves until stop(); false when it could not.
  bool serve();
  // A stop before serve() has started is lost, so callers wait for this.
  bool running() const { return server_.is_running(); }
  void stop();

 private:
  httplib::Server::HandlerResponse guard(const httplib::Request& req, httplib::Response& res);

  Companion& companion_;
  std::string token_;
  FaultPlan* faults_;
  httplib::Server server_;
};

}  // namespace ostrel::companion
