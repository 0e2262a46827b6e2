#include "host/call/recorder.hpp"
#include "host/call/session.hpp"
#include "host/template_item.hpp"

namespace ostrel::host::call {

namespace fp = platform::fileprovider;

namespace {

using ChangeRecorder = Recorder<fp::ItemPtr, fp::ItemFields, bool, std::optional<fp::Error>>;

Outcome changeOutcome(ChangeRecorder& done, const char* name) {
  if (!done.once()) return contractBroken(done.problem(name));
  auto& [item, pending, shouldFetch, error] = done.values();
  if (error) return errorOutcome(*error);
  return itemOutcome(item);
}

}  // namespace

Outcome performCreate(CallSession& session, const CreateCall& call) {
  // A host names a new item only once the extension has answered for it.
  TemplateItem itemTemplate("", call.parent, call.filename, call.contentType);
  ChangeRecorder done;
  session.extension().createItem(itemTemplate, fp::ItemFields{}, call.contents, fp::CreateItemOptions{},
                                 fp::Request{}, done.handler());
  return changeOutcome(done, "createItem");
}

Outcome performModify(CallSession& session, const ModifyCall& call) {
  TemplateItem proposed(call.identifier, call.parent, call.filename, std::nullopt);
  ChangeRecorder done;
  session.extension().modifyItem(proposed, fp::ItemVersion{}, fp::ItemFields::fromRaw(call.changedFields),
                                 std::nullopt, fp::ModifyItemOptions{}, fp::Request{}, done.handler());
  return changeOutcome(done, "modifyItem");
}

Outcome performDelete(CallSession& session, const DeleteCall& call) {
  Recorder<std::optional<fp::Error>> done;
  session.extension().deleteItem(call.identifier, fp::ItemVersion{}, fp::DeleteItemOptions{}, fp::Request{},
                                 done.handler());
  if (!done.once()) return contractBroken(done.problem("deleteItem"));
  auto& [error] = done.values();
  if (error) return errorOutcome(*error);
  return Outcome{};
}

}  // namespace ostrel::host::call
