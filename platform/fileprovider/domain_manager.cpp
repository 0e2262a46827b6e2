#include "platform/fileprovider/domain_manager.hpp"

namespace ostrel::platform::fileprovider {

std::string localizedDescription(const HostError& error) {
  if (error.description && !error.description->empty()) return *error.description;
  return "The operation couldn\u2019t be completed. (" + error.domain + " error " +
         std::to_string(error.code) + ".)";
}

}  // namespace ostrel::platform::fileprovider
