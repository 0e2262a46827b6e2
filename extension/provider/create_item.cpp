#include <chrono>

#include "extension/bridge/bridge_error.hpp"
#include "extension/items/folder_item.hpp"
#include "extension/items/vault_file_item.hpp"
#include "extension/model/finder_folders.hpp"
#include "extension/provider/attempt_ledger.hpp"
#include "extension/provider/error_mapping.hpp"
#include "extension/provider/ostrel_file_provider.hpp"
#include "platform/fileprovider/content_type.hpp"
#include "platform/files.hpp"
#include "platform/log.hpp"

namespace ostrel {

namespace fp = platform::fileprovider;

namespace {

struct Created {
  fp::ItemPtr item{};
  std::optional<fp::Error> error{};
};

struct Parent {
  Residency residency;
  std::string folder;
};

// A residency folder or a sub-folder of one; anything else cannot take files.
std::optional<Parent> resolveParent(const std::string& identifier) {
  if (auto residency = Residency::fromSlug(identifier)) return Parent{*residency, ""};
  if (auto folder = FinderFolders::parse(identifier)) {
    if (auto residency = Residency::fromSlug(folder->residency)) return Parent{*residency, folder->path};
  }
  return std::nullopt;
}

bool isFolderTemplate(const fp::Item& itemTemplate) {
  auto type = itemTemplate.contentType();
  return type && fp::conforms(*type, fp::contentType::folder);
}

Created refuse(std::string sentence) { return {.error = terminalRefusal(std::move(sentence))}; }

double now() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

Created createFolder(const Parent& parent, const std::string& name) {
  if (!FinderFolders::validName(name) || FinderFolders::isHidden(name)) {
    return refuse("\u201C" + name + "\u201D is a hidden folder and was skipped.");
  }
  std::string path = FinderFolders::join(parent.folder, name);
  platform::providerLog().info("folder {} created in {}", path, parent.residency.slug());
  return {.item = std::make_shared<FolderItem>(std::string(parent.residency.slug()), path)};
}

// Refusals the user can act on end the attempt for good and leave the
// ledger alone; any other failure counts towards the attempt limit.
Created ingestFailed(const std::exception& error, const Parent& parent, const std::string& name) {
  const std::string slug(parent.residency.slug());
  if (const auto* bridge = dynamic_cast<const BridgeError*>(&error)) {
    switch (bridge->kind()) {
      case BridgeError::Kind::refused:
        platform::providerLog().info("ingest refused for {}: {}", slug, bridge->errorDescription());
        return refuse(bridge->errorDescription());
      case BridgeError::Kind::notSignedIn:
        return refuse("Sign in to Ostrel, then add \u201C" + name + "\u201D again.");
      case BridgeError::Kind::clearingPrevious:
      case BridgeError::Kind::clearingStuck:
        return refuse(bridge->errorDescription() + " \u201C" + name +
                      "\u201D was not added; add it again once Finder shows your files.");
      case BridgeError::Kind::appNotRunning:
      case BridgeError::Kind::notReady:
        platform::providerLog().info("ingest refused: Ostrel not open or not ready ({}/{})", slug, name);
        return refuse("Ostrel wasn\u2019t open (or was still setting up your account), so \u201C" + name +
                      "\u201D was not added. Open Ostrel, then add it again.");
      default:
        break;
    }
  }
  const std::string key = AttemptLedger::key(parent.residency, name);
  const std::int64_t count = AttemptLedger::shared().recordFailure(key);
  if (count < AttemptLedger::maxAttempts) {
    platform::providerLog().error("ingest failed (will retry): {}", error.what());
    // None of the cases left here is one fileProviderError maps, so the host
    // receives the error as thrown.
    return {.error = fileProviderError(error)};
  }
  platform::providerLog().error("ingest failed {}x, dead-lettering {}: {}", AttemptLedger::maxAttempts, key,
                                error.what());
  return refuse("Could not add " + name + " after " + std::to_string(AttemptLedger::maxAttempts) +
                " attempts: " + error.what());
}

Created ingestFile(const OstrelBridge& bridge, const Parent& parent, const std::string& name,
                   const std::filesystem::path& contents) {
  std::string id;
  try {
    id = bridge.ingest(name, parent.residency, contents, parent.folder);
  } catch (const std::exception& error) {
    return ingestFailed(error, parent, name);
  }
  const std::string slug(parent.residency.slug());
  AttemptLedger::shared().reset(AttemptLedger::key(parent.residency, name));
  platform::providerLog().info("ingested {} into {} as {}", name, slug, id);
  VaultFile record{
      .id = std::move(id),
      .filename = name,
      .size = platform::fileSize(contents).value_or(0),
      .modifiedAt = now(),
      .residency = slug,
      .materialized = parent.residency != Residency::cloudOnly,
      .folder = parent.folder,
  };
  return {.item = std::make_shared<VaultFileItem>(std::move(record))};
}

Created create(const OstrelBridge& bridge, const fp::Item& itemTemplate,
               const std::optional<std::filesystem::path>& contents) {
  try {
    auto parent = resolveParent(itemTemplate.parentItemIdentifier());
    if (!parent) {
      return refuse("Drop the file into Device only, Device + Cloud, or Cloud only \u2014 not the top level.");
    }
    const std::string name = itemTemplate.filename();
    if (isFolderTemplate(itemTemplate)) return createFolder(*parent, name);
    if (!contents) return refuse("No file contents were supplied for " + name + ".");
    return ingestFile(bridge, *parent, name, *contents);
  } catch (const std::exception& error) {
    return {.error = fileProviderError(error)};
  }
}

}  // namespace

fp::Progress OstrelFileProvider::createItem(const fp::Item& itemTemplate, fp::ItemFields,
                                            const std::optional<std::filesystem::path>& contents,
                                            fp::CreateItemOptions, const fp::Request&,
                                            fp::ItemChangeCompletion completionHandler) {
  Created result = create(*bridge_, itemTemplate, contents);
  completionHandler(std::move(result.item), fp::ItemFields{}, false, std::move(result.error));
  return {};
}

}  // namespace ostrel
