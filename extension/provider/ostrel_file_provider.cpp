#include "extension/provider/ostrel_file_provider.hpp"

#include "extension/items/ostrel_enumerator.hpp"
#include "platform/log.hpp"

namespace ostrel {

namespace fp = platform::fileprovider;

OstrelFileProvider::OstrelFileProvider(const fp::Domain& domain, BridgeSettings settings)
    : bridge_(std::make_shared<const OstrelBridge>(settings)) {
  platform::providerLog().info("OstrelFileProvider loaded for domain {}", domain.identifier);
}

std::unique_ptr<fp::Enumerator> OstrelFileProvider::enumerator(const fp::ItemIdentifier& container,
                                                              const fp::Request&, std::optional<fp::Error>&) {
  return std::make_unique<OstrelEnumerator>(container, bridge_);
}

}  // namespace ostrel
