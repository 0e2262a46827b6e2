#include "host/call/session.hpp"

#include <type_traits>

namespace ostrel::host::call {

namespace fp = platform::fileprovider;

Outcome CallSession::perform(const Call& call) {
  return std::visit(
      [this](const auto& c) -> Outcome {
        using C = std::decay_t<decltype(c)>;
        // clang-format off
        if constexpr (std::is_same_v<C, ItemCall>)    return performItem(*this, c);
        if constexpr (std::is_same_v<C, FetchCall>)   return performFetch(*this, c);
        if constexpr (std::is_same_v<C, ListCall>)    return performList(*this, c);
        if constexpr (std::is_same_v<C, AnchorCall>)  return performAnchor(*this, c);
        if constexpr (std::is_same_v<C, ChangesCall>) return performChanges(*this, c);
        if constexpr (std::is_same_v<C, CreateCall>)  return performCreate(*this, c);
        if constexpr (std::is_same_v<C, ModifyCall>)  return performModify(*this, c);
        if constexpr (std::is_same_v<C, DeleteCall>)  return performDelete(*this, c);
        // clang-format on
      },
      call);
}

fp::Enumerator* CallSession::enumerator(const std::string& container, std::optional<fp::Error>& error) {
  if (auto it = enumerators_.find(container); it != enumerators_.end()) return it->second.get();
  auto made = extension_.enumerator(container, fp::Request{}, error);
  if (!made) {
    if (!error) error = fp::Error{.domain = hostErrorDomain, .code = 1,
                                  .localizedDescription = "the extension gave no enumerator and no error"};
    return nullptr;
  }
  return enumerators_.emplace(container, std::move(made)).first->second.get();
}

Outcome itemOutcome(const fp::ItemPtr& item) {
  if (!item) return contractBroken("the completion carried neither an item nor an error");
  Outcome outcome;
  outcome.object["item"] = itemJson(*item);
  return outcome;
}

Outcome errorOutcome(const fp::Error& error) {
  Outcome outcome;
  outcome.object["error"] = errorJson(error);
  outcome.failed = true;
  return outcome;
}

Outcome contractBroken(const std::string& what) {
  return errorOutcome(fp::Error{.domain = hostErrorDomain, .code = 1, .localizedDescription = what});
}

}  // namespace ostrel::host::call
