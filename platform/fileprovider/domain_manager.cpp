#include "platform/fileprovider/domain_manager.hpp"

namespace ostrel::platform::fileprovider {

std::string describe(const Error& error) {
  if (error.localizedDescription && !error.localizedDescription->empty()) return *error.localizedDescription;
  return "The operation couldn\u2019t be completed. (" + error.domain + " error " +
         std::to_string(error.code) + ".)";
}

}  // namespace ostrel::platform::fileprovider
