#pragma once

// The operations the host calls on an extension's principal. Each calls its
// completion handler exactly once and returns a progress value.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "platform/fileprovider/enumerator.hpp"
#include "platform/fileprovider/error.hpp"
#include "platform/fileprovider/flags.hpp"
#include "platform/fileprovider/item.hpp"

namespace ostrel::platform::fileprovider {

// Nothing reads it on this platform.
struct Progress {};

// The host's context for one call; carries nothing the extension reads.
struct Request {};

enum class CreateItemOption : std::uint64_t {
  mayAlreadyExist = 1 << 0,
  deletionConflicted = 1 << 1,
};
template <>
inline constexpr bool isFlagBit<CreateItemOption> = true;
using CreateItemOptions = Flags<CreateItemOption>;

enum class ModifyItemOption : std::uint64_t {
  mayAlreadyExist = 1 << 0,
};
template <>
inline constexpr bool isFlagBit<ModifyItemOption> = true;
using ModifyItemOptions = Flags<ModifyItemOption>;

enum class DeleteItemOption : std::uint64_t {
  recursive = 1 << 0,
};
template <>
inline constexpr bool isFlagBit<DeleteItemOption> = true;
using DeleteItemOptions = Flags<DeleteItemOption>;

using ItemCompletion = std::function<void(ItemPtr item, std::optional<Error> error)>;
using FetchContentsCompletion =
    std::function<void(std::optional<std::filesystem::path> url, ItemPtr item, std::optional<Error> error)>;
// The item, the fields the host must still send, whether it should fetch
// the contents again, and the error.
using ItemChangeCompletion = std::function<void(ItemPtr item, ItemFields stillPending,
                                                bool shouldFetchContent, std::optional<Error> error)>;
using DeleteCompletion = std::function<void(std::optional<Error> error)>;

class ReplicatedExtension {
 public:
  virtual ~ReplicatedExtension() = default;

  virtual void invalidate() = 0;

  virtual Progress item(const ItemIdentifier& identifier, const Request& request,
                        ItemCompletion completionHandler) = 0;

  // Nothing, with `error` set, when there is no enumerator for the container.
  virtual std::unique_ptr<Enumerator> enumerator(const ItemIdentifier& container, const Request& request,
                                                 std::optional<Error>& error) = 0;

  virtual Progress fetchContents(const ItemIdentifier& identifier, const std::optional<ItemVersion>& version,
                                 const Request& request, FetchContentsCompletion completionHandler) = 0;

  virtual Progress createItem(const Item& itemTemplate, ItemFields fields,
                              const std::optional<std::filesystem::path>& contents, CreateItemOptions options,
                              const Request& request, ItemChangeCompletion completionHandler) = 0;

  virtual Progress modifyItem(const Item& item, const ItemVersion& baseVersion, ItemFields changedFields,
                              const std::optional<std::filesystem::path>& contents, ModifyItemOptions options,
                              const Request& request, ItemChangeCompletion completionHandler) = 0;

  virtual Progress deleteItem(const ItemIdentifier& identifier, const ItemVersion& baseVersion,
                              DeleteItemOptions options, const Request& request,
                              DeleteCompletion completionHandler) = 0;
};

}  // namespace ostrel::platform::fileprovider
