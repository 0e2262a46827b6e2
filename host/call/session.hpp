#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "host/call/call.hpp"
#include "host/call/output.hpp"
#include "platform/fileprovider/replicated_extension.hpp"

namespace ostrel::host::call {

// What one call printed and whether its completion carried an error.
struct Outcome {
  Object object = Object::object();
  bool failed = false;
};

// Performs calls on one loaded extension, as a host does: one enumerator per
// container, asked again on every later call for that container.
class CallSession {
 public:
  explicit CallSession(platform::fileprovider::ReplicatedExtension& extension) : extension_(extension) {}

  // Never throws for what the extension reports; a completion that is not
  // called exactly once is reported as an error of the host's own domain.
  Outcome perform(const Call& call);

  platform::fileprovider::ReplicatedExtension& extension() { return extension_; }
  // The container's enumerator, made on first use; nothing (with `error`
  // set) when the extension has none for it.
  platform::fileprovider::Enumerator* enumerator(const std::string& container,
                                                 std::optional<platform::fileprovider::Error>& error);

 private:
  platform::fileprovider::ReplicatedExtension& extension_;
  std::map<std::string, std::unique_ptr<platform::fileprovider::Enumerator>> enumerators_;
};

// The host's own error domain, for a broken completion contract.
inline constexpr const char* hostErrorDomain = "com.ostrel.fphost";

Outcome itemOutcome(const platform::fileprovider::ItemPtr& item);
Outcome errorOutcome(const platform::fileprovider::Error& error);
Outcome contractBroken(const std::string& what);

// One function per call; session.cpp lists them all.
Outcome performItem(CallSession& session, const ItemCall& call);
Outcome performFetch(CallSession& session, const FetchCall& call);
Outcome performList(CallSession& session, const ListCall& call);
Outcome performAnchor(CallSession& session, const AnchorCall& call);
Outcome performChanges(CallSession& session, const ChangesCall& call);
Outcome performCreate(CallSession& session, const CreateCall& call);
Outcome performModify(CallSession& session, const ModifyCall& call);
Outcome performDelete(CallSession& session, const DeleteCall& call);

}  // namespace ostrel::host::call
