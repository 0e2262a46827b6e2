#include "companion/routes/replies.hpp"
#include "companion/routes/routes.hpp"

namespace ostrel::companion::routes {

void reparent(Companion& companion, const httplib::Request& req, httplib::Response& res) {
  if (refusedByState(companion.settings.get(), res)) return;
  auto body = nlohmann::json::parse(req.body, nullptr, false);
  if (!body.is_object() || !body.contains("id") || !body["id"].is_string() || !body.contains("to") ||
      !body["to"].is_string()) {
    replyError(res, 400, "A move needs a JSON object with the text members \"id\" and \"to\".");
    return;
  }
  std::string id = body["id"].get<std::string>();
  auto to = residencyFromSlug(body["to"].get<std::string>());
  if (!to) {
    replyError(res, 400, "The residency must be device-only, device-and-cloud or cloud-only.");
    return;
  }
  auto record = companion.vault.index().find(id);
  if (!record) {
    replyError(res, 404, "There is no file with that id in the vault.");
    return;
  }
  if (record->residency != *to) {
    switch (companion.vault.reparent(id, *to)) {
      case Vault::Outcome::done:
        break;
      case Vault::Outcome::noSuchFile:
        replyError(res, 404, "There is no file with that id in the vault.");
        return;
      case Vault::Outcome::nameTaken:
        replyError(res, 409, "\u201C" + record->filename + "\u201D already exists in that folder.",
                   {{"refusal", "exists"}});
        return;
    }
  }
  replyJson(res, 200, {{"ok", true}, {"id", id}, {"residency", slug(*to)}});
}

}  // namespace ostrel::companion::routes
