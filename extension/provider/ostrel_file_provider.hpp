#pragma once

#include <memory>
#include <optional>

#include "extension/bridge/ostrel_bridge.hpp"
#include "platform/fileprovider/domain_manager.hpp"
#include "platform/fileprovider/replicated_extension.hpp"

namespace ostrel {

// The extension's principal: the host makes one per domain and calls it from
// threads of its choosing, several at once. Each operation does its work on
// the calling thread and calls its completion exactly once before it
// returns. It holds no state but the bridge, which needs no lock.
class OstrelFileProvider final : public platform::fileprovider::ReplicatedExtension {
 public:
  // `settings` lets tests shorten the bridge's time limits.
  explicit OstrelFileProvider(const platform::fileprovider::Domain& domain, BridgeSettings settings = {});

  void invalidate() override {}

  platform::fileprovider::Progress item(const platform::fileprovider::ItemIdentifier& identifier,
                                        const platform::fileprovider::Request& request,
                                        platform::fileprovider::ItemCompletion completionHandler) override;

  // An enumerator for any identifier; it looks at the identifier only when
  // it runs.
  std::unique_ptr<platform::fileprovider::Enumerator> enumerator(
      const platform::fileprovider::ItemIdentifier& container, const platform::fileprovider::Request& request,
      std::optional<platform::fileprovider::Error>& error) override;

  platform::fileprovider::Progress fetchContents(
      const platform::fileprovider::ItemIdentifier& identifier,
      const std::optional<platform::fileprovider::ItemVersion>& version,
      const platform::fileprovider::Request& request,
      platform::fileprovider::FetchContentsCompletion completionHandler) override;

  platform::fileprovider::Progress createItem(const platform::fileprovider::Item& itemTemplate,
                                              platform::fileprovider::ItemFields fields,
                                              const std::optional<std::filesystem::path>& contents,
                                              platform::fileprovider::CreateItemOptions options,
                                              const platform::fileprovider::Request& request,
                                              platform::fileprovider::ItemChangeCompletion completionHandler) override;

  platform::fileprovider::Progress modifyItem(const platform::fileprovider::Item& item,
                                              const platform::fileprovider::ItemVersion& baseVersion,
                                              platform::fileprovider::ItemFields changedFields,
                                              const std::optional<std::filesystem::path>& contents,
                                              platform::fileprovider::ModifyItemOptions options,
                                              const platform::fileprovider::Request& request,
                                              platform::fileprovider::ItemChangeCompletion completionHandler) override;

  platform::fileprovider::Progress deleteItem(const platform::fileprovider::ItemIdentifier& identifier,
                                              const platform::fileprovider::ItemVersion& baseVersion,
                                              platform::fileprovider::DeleteItemOptions options,
                                              const platform::fileprovider::Request& request,
                                              platform::fileprovider::DeleteCompletion completionHandler) override;

 private:
  std::shared_ptr<const OstrelBridge> bridge_;
};

}  // namespace ostrel
