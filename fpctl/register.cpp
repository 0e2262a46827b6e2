#include <memory>

#include "fpctl/commands.hpp"
#include "fpctl/domains.hpp"

namespace ostrel::fpctl {
using platform::fileprovider::Domain;
using platform::fileprovider::Error;

namespace {

// providerNotFound and applicationExtensionNotFound: the extension is missing
// from where the host looks, which usually means the app lies elsewhere.
bool hintsAtLocation(std::int64_t code) { return code == -2001 || code == -2014; }

}  // namespace

Output cmdRegister(const Context& context) {
  LocationVerdict verdict = context.location();
  if (!verdict.eligible) {
    return failure("not_in_applications", verdict.reason.value_or(""), 2);
  }

  if (!ownDomains(context).empty()) {
    return {{{"ok", true}, {"registered", true}, {"alreadyPresent", true}}, 0};
  }

  Domain domain{std::string(DOMAIN_ID), std::string(DOMAIN_DISPLAY_NAME)};
  auto answer = std::make_shared<Answer<std::optional<Error>>>();
  context.host.addDomain(domain, [answer](std::optional<Error> error) {
    answer->set(std::move(error));
  });
  std::optional<std::optional<Error>> result = answer->waitFor(context.timeout);
  if (!result) return failure("timeout", didNotAnswerWithin(context.timeout), 3);

  if (const std::optional<Error>& error = *result) {
    std::string description = platform::fileprovider::describe(*error);
    if (hintsAtLocation(error->code)) {
      description +=
          " Ostrel may not be in your Applications folder, or the extension was not installed "
          "with the app.";
    }
    return {{{"ok", false},
             {"code", "add_failed"},
             {"osCode", error->code},
             {"error", std::move(description)}},
            4};
  }
  return {{{"ok", true}, {"registered", true}, {"alreadyPresent", false}}, 0};
}

}  // namespace ostrel::fpctl
