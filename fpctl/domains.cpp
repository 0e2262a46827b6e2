#include "fpctl/domains.hpp"

#include <memory>

namespace ostrel::fpctl {
using platform::fileprovider::Domain;
using platform::fileprovider::Error;

std::vector<Domain> currentDomains(const Context& context) {
  auto answer = std::make_shared<Answer<std::vector<Domain>>>();
  context.host.getDomains(
      [answer](std::vector<Domain> domains, std::optional<Error>) {
        answer->set(std::move(domains));
      });
  return answer->waitFor(context.timeout).value_or(std::vector<Domain>{});
}

std::vector<Domain> ownDomains(const Context& context) {
  std::vector<Domain> own;
  for (Domain& domain : currentDomains(context)) {
    if (domain.identifier == DOMAIN_ID) own.push_back(std::move(domain));
  }
  return own;
}

}  // namespace ostrel::fpctl
