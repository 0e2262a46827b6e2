#include "platform/uuid.hpp"

#include <uuid/uuid.h>

namespace ostrel::platform {

std::string randomUuid() {
  uuid_t id;
  uuid_generate_random(id);
  char text[37];
  uuid_unparse_upper(id, text);
  return text;
}

}  // namespace ostrel::platform
