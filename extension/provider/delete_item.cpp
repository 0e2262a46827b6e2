#include "extension/provider/ostrel_file_provider.hpp"

namespace ostrel {

namespace fp = platform::fileprovider;

fp::Progress OstrelFileProvider::deleteItem(const fp::ItemIdentifier&, const fp::ItemVersion&,
                                            fp::DeleteItemOptions, const fp::Request&,
                                            fp::DeleteCompletion completionHandler) {
  // Nothing in the vault is ever deleted from here.
  completionHandler(fp::Error::fileProvider(fp::errorCode::notAuthenticated));
  return {};
}

}  // namespace ostrel
