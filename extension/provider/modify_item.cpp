#include "extension/bridge/bridge_error.hpp"
#include "extension/model/finder_folders.hpp"
#include "extension/provider/error_mapping.hpp"
#include "extension/provider/item_snapshot.hpp"
#include "extension/provider/ostrel_file_provider.hpp"

namespace ostrel {

namespace fp = platform::fileprovider;

namespace {

struct Modified {
  fp::ItemPtr item{};
  std::optional<fp::Error> error{};
};

// The residency of the new parent; its sub-folder path is not the companion
// app's business.
std::optional<Residency> targetResidency(const std::string& parent) {
  auto folder = FinderFolders::parse(parent);
  const std::string candidate = folder ? folder->residency : parent;
  for (Residency residency : Residency::allCases()) {
    if (residency.slug() == candidate) return residency;
  }
  return std::nullopt;
}

fp::Error moveFailed(const std::exception& error) {
  if (const auto* bridge = dynamic_cast<const BridgeError*>(&error)) {
    switch (bridge->kind()) {
      case BridgeError::Kind::refused:
        return terminalRefusal(bridge->errorDescription());
      case BridgeError::Kind::notSignedIn:
        return terminalRefusal("Sign in to Ostrel, then move the file again.");
      case BridgeError::Kind::clearingPrevious:
      case BridgeError::Kind::clearingStuck:
      case BridgeError::Kind::notReady:
        return terminalRefusal(bridge->errorDescription() + " Move the file again after that.");
      case BridgeError::Kind::unreachable:
        return fp::Error::fileProvider(fp::errorCode::serverUnreachable, bridge->errorDescription());
      case BridgeError::Kind::appNotRunning:
        return fileProviderError(BridgeError::appNotRunning());
      default:
        break;
    }
  }
  // Left are the cases fileProviderError hands over as they are.
  return fileProviderError(error);
}

// Only a move into another residency reaches the companion app; every other
// change is declined.
Modified modify(const OstrelBridge& bridge, const fp::Item& proposed, fp::ItemFields changedFields) {
  try {
    if (!changedFields.contains(fp::ItemField::parentItemIdentifier)) {
      return {.error = fp::Error::fileProvider(fp::errorCode::notAuthenticated)};
    }
    auto residency = targetResidency(proposed.parentItemIdentifier());
    if (!residency) return {.error = fp::Error::fileProvider(fp::errorCode::noSuchItem)};
    try {
      bridge.reparent(proposed.itemIdentifier(), *residency);
    } catch (const std::exception& error) {
      return {.error = moveFailed(error)};
    }
    // The host keeps the item as it proposed it, name and all.
    return {.item = std::make_shared<ItemSnapshot>(proposed)};
  } catch (const std::exception& error) {
    return {.error = fileProviderError(error)};
  }
}

}  // namespace

fp::Progress OstrelFileProvider::modifyItem(const fp::Item& item, const fp::ItemVersion&,
                                            fp::ItemFields changedFields,
                                            const std::optional<std::filesystem::path>&, fp::ModifyItemOptions,
                                            const fp::Request&, fp::ItemChangeCompletion completionHandler) {
  Modified result = modify(*bridge_, item, changedFields);
  completionHandler(std::move(result.item), fp::ItemFields{}, false, std::move(result.error));
  return {};
}

}  // namespace ostrel
