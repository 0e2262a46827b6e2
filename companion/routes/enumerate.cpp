#include "companion/routes/replies.hpp"
#include "companion/routes/routes.hpp"

namespace ostrel::companion::routes {

void enumerate(Companion& companion, const httplib::Request& req, httplib::Response& res) {
  if (refusedByState(companion.settings.get(), res)) return;
  auto residency = residencyFromSlug(req.get_param_value("residency"));
  if (!residency) {
    replyError(res, 400, "The residency must be device-only, device-and-cloud or cloud-only.");
    return;
  }
  nlohmann::json files = nlohmann::json::array();
  for (const auto& record : companion.vault.index().list(*residency)) files.push_back(recordJson(record));
  replyJson(res, 200, {{"ok", true}, {"files", std::move(files)}});
}

}  // namespace ostrel::companion::routes
