#include "fpctl/commands.hpp"
#include "fpctl/domains.hpp"

namespace ostrel::fpctl {

Output cmdStatus(const Context& context) {
  LocationVerdict verdict = context.location();
  Object identifiers = Object::array();
  for (const auto& domain : ownDomains(context)) identifiers.push_back(domain.identifier);
  bool registered = !identifiers.empty();
  return {{{"ok", true},
           {"registered", registered},
           {"domains", std::move(identifiers)},
           {"eligible", verdict.eligible},
           {"reason", verdict.reason ? Object(*verdict.reason) : Object(nullptr)}},
          0};
}

}  // namespace ostrel::fpctl
