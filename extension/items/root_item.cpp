#include "extension/items/root_item.hpp"

#include "platform/fileprovider/content_type.hpp"

namespace ostrel {

namespace fp = platform::fileprovider;

fp::ItemIdentifier RootItem::itemIdentifier() const { return fp::ItemIdentifier(fp::rootContainer); }
fp::ItemIdentifier RootItem::parentItemIdentifier() const { return fp::ItemIdentifier(fp::rootContainer); }
std::string RootItem::filename() const { return "Ostrel"; }
std::optional<fp::ContentType> RootItem::contentType() const { return fp::ContentType(fp::contentType::folder); }
std::optional<fp::ItemCapabilities> RootItem::capabilities() const { return fp::ItemCapability::allowsReading; }
std::optional<fp::ItemVersion> RootItem::itemVersion() const { return fp::ItemVersion{"1", "1"}; }

}  // namespace ostrel
