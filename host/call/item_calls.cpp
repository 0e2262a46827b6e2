#include "host/call/recorder.hpp"
#include "host/call/session.hpp"

namespace ostrel::host::call {

namespace fp = platform::fileprovider;

Outcome performItem(CallSession& session, const ItemCall& call) {
  Recorder<fp::ItemPtr, std::optional<fp::Error>> done;
  session.extension().item(call.identifier, fp::Request{}, done.handler());
  if (!done.once()) return contractBroken(done.problem("item"));
  auto& [item, error] = done.values();
  if (error) return errorOutcome(*error);
  return itemOutcome(item);
}

Outcome performFetch(CallSession& session, const FetchCall& call) {
  Recorder<std::optional<std::filesystem::path>, fp::ItemPtr, std::optional<fp::Error>> done;
  session.extension().fetchContents(call.identifier, std::nullopt, fp::Request{}, done.handler());
  if (!done.once()) return contractBroken(done.problem("fetchContents"));
  auto& [url, item, error] = done.values();
  if (error) return errorOutcome(*error);
  if (!url || !item) return contractBroken("fetchContents completed without a location or an item");
  Outcome outcome;
  outcome.object["url"] = url->string();
  outcome.object["item"] = itemJson(*item);
  return outcome;
}

}  // namespace ostrel::host::call
