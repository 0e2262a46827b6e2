#include "extension/items/vault_file_item.hpp"
#include "extension/provider/current_record.hpp"
#include "extension/provider/error_mapping.hpp"
#include "extension/provider/ostrel_file_provider.hpp"
#include "extension/provider/temporary_download.hpp"

namespace ostrel {

namespace fp = platform::fileprovider;

namespace {

struct Fetched {
  std::optional<std::filesystem::path> url{};
  fp::ItemPtr item{};
  std::optional<fp::Error> error{};
};

// The content request, then the listings, strictly in that order. The bytes
// stream into the temporary file as they arrive; the file is removed again
// unless it is handed over with the item.
Fetched fetch(const OstrelBridge& bridge, const std::string& id) {
  try {
    TemporaryDownload download;
    bridge.fetch(id, download);
    download.finish();
    auto record = currentRecord(bridge, id);
    if (!record) return {.error = fp::Error::fileProvider(fp::errorCode::noSuchItem)};
    auto item = std::make_shared<VaultFileItem>(std::move(*record));
    return {.url = download.keep(), .item = std::move(item)};
  } catch (const std::exception& error) {
    return {.error = fileProviderError(error)};
  }
}

}  // namespace

fp::Progress OstrelFileProvider::fetchContents(const fp::ItemIdentifier& identifier,
                                               const std::optional<fp::ItemVersion>&, const fp::Request&,
                                               fp::FetchContentsCompletion completionHandler) {
  Fetched result = fetch(*bridge_, identifier);
  completionHandler(std::move(result.url), std::move(result.item), std::move(result.error));
  return {};
}

}  // namespace ostrel
