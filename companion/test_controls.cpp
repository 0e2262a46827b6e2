#include "companion/test_controls.hpp"

#include <optional>
#include <string>

#include "companion/base64_decoder.hpp"
#include "companion/names.hpp"
#include "companion/routes/replies.hpp"
#include "companion/vault_error.hpp"

namespace ostrel::companion {
namespace {

using Json = nlohmann::json;

// A member of `body` of the wanted kind, or nothing when absent or null;
// throws BadRequest when it has another kind.
struct BadRequest {
  std::string sentence;
};

template <typename Check>
const Json* member(const Json& body, const char* key, Check isKind, const char* kind) {
  if (!body.contains(key) || body[key].is_null()) return nullptr;
  if (!isKind(body[key])) throw BadRequest{std::string("\"") + key + "\" must be " + kind + "."};
  return &body[key];
}

std::optional<std::string> text(const Json& body, const char* key) {
  const Json* value = member(body, key, [](const Json& j) { return j.is_string(); }, "text");
  return value ? std::optional(value->get<std::string>()) : std::nullopt;
}

std::optional<std::int64_t> integer(const Json& body, const char* key) {
  const Json* value = member(body, key, [](const Json& j) { return j.is_number_integer(); }, "a whole number");
  return value ? std::optional(value->get<std::int64_t>()) : std::nullopt;
}

std::optional<bool> boolean(const Json& body, const char* key) {
  const Json* value = member(body, key, [](const Json& j) { return j.is_boolean(); }, "true or false");
  return value ? std::optional(value->get<bool>()) : std::nullopt;
}

std::string required(const Json& body, const char* key) {
  auto value = text(body, key);
  if (!value) throw BadRequest{std::string("\"") + key + "\" is required."};
  return *value;
}

BlobWriter decodedContent(Companion& companion, const Json& body) {
  std::string encoded = required(body, "contentBase64");
  BlobWriter writer = companion.vault.blobs().begin();
  if (!base64Decode(encoded, [&](std::string_view piece) {
        writer.write(piece);
        return true;
      })) {
    throw BadRequest{"\"contentBase64\" is not standard Base64."};
  }
  return writer;
}

void notFound(httplib::Response& res) { replyError(res, 404, "There is no file with that id in the vault."); }

void setState(Companion& companion, const Json& body, httplib::Response& res) {
  Settings settings = companion.settings.get();
  if (auto state = text(body, "state")) {
    auto parsed = accountStateFromName(*state);
    if (!parsed) throw BadRequest{"\"state\" must be ready, signed-out, not-ready, clearing or stuck."};
    settings.state = *parsed;
  }
  if (auto stream = boolean(body, "streamIngest")) settings.streamIngest = *stream;
  if (auto limit = integer(body, "maxFileBytes")) settings.maxFileBytes = *limit;
  companion.settings.set(settings);
  replyJson(res, 200, {{"ok", true}, {"state", name(settings.state)}, {"streamIngest", settings.streamIngest},
                       {"maxFileBytes", settings.maxFileBytes}});
}

void setFault(FaultPlan& faults, const Json& body, httplib::Response& res) {
  std::string path = required(body, "path");
  Fault fault;
  if (auto delay = integer(body, "delayMs")) {
    if (*delay < 0 || *delay > 600'000) throw BadRequest{"\"delayMs\" must lie between 0 and 600000."};
    fault.delay = std::chrono::milliseconds(*delay);
  }
  if (auto status = integer(body, "status")) {
    if (*status < 200 || *status > 599) throw BadRequest{"\"status\" must lie between 200 and 599."};
    fault.status = static_cast<int>(*status);
  }
  fault.body = text(body, "body").value_or("");
  fault.drop = boolean(body, "drop").value_or(false);
  if (auto times = integer(body, "times")) {
    if (*times < 1) throw BadRequest{"\"times\" must be at least 1."};
    fault.times = static_cast<int>(std::min<std::int64_t>(*times, 1'000'000));
  }
  faults.set(path, fault);
  replyJson(res, 200, {{"ok", true}});
}

void addFile(Companion& companion, const Json& body, httplib::Response& res) {
  std::string filename = required(body, "filename");
  std::string folder = text(body, "folder").value_or("");
  auto residency = residencyFromSlug(required(body, "residency"));
  if (!residency) throw BadRequest{"The residency must be device-only, device-and-cloud or cloud-only."};
  // Hidden names are let through: tests use them to see that others skip them.
  if (auto problem = filenameProblem(filename)) throw BadRequest{*problem};
  if (auto problem = folderProblem(folder)) throw BadRequest{*problem};
  auto stored = companion.vault.add({.filename = filename, .residency = *residency, .folder = folder},
                                    decodedContent(companion, body));
  if (!stored) {
    replyError(res, 409, "\u201C" + filename + "\u201D already exists in that folder.", {{"refusal", "exists"}});
    return;
  }
  replyJson(res, 200, {{"ok", true}, {"id", stored->id}, {"file", recordJson(*stored)}});
}

void modifyFile(Companion& companion, const Json& body, httplib::Response& res) {
  std::string id = required(body, "id");
  if (companion.vault.replaceContent(id, decodedContent(companion, body)) != Vault::Outcome::done) return notFound(res);
  replyJson(res, 200, {{"ok", true}, {"file", recordJson(*companion.vault.index().find(id))}});
}

void removeFile(Companion& companion, const Json& body, httplib::Response& res) {
  if (companion.vault.remove(required(body, "id")) != Vault::Outcome::done) return notFound(res);
  replyJson(res, 200, {{"ok", true}});
}

}  // namespace

void registerTestControls(httplib::Server& server, Companion& companion, FaultPlan& faults) {
  using Action = std::function<void(const Json&, httplib::Response&)>;
  auto control = [](Action action) {
    return [action = std::move(action)](const httplib::Request& req, httplib::Response& res) {
      Json body = req.body.empty() ? Json::object() : Json::parse(req.body, nullptr, false);
      if (!body.is_object()) return replyError(res, 400, "A test control takes a JSON object.");
      try {
        action(body, res);
      } catch (const BadRequest& bad) {
        replyError(res, 400, bad.sentence);
      }
    };
  };
  Companion* c = &companion;
  FaultPlan* f = &faults;
  server.Post("/test/state",        control([c](const Json& b, httplib::Response& r) { setState(*c, b, r); }));
  server.Post("/test/fault",        control([f](const Json& b, httplib::Response& r) { setFault(*f, b, r); }));
  server.Post("/test/faults/clear", control([f](const Json&, httplib::Response& r) { f->clear(); replyJson(r, 200, {{"ok", true}}); }));
  server.Post("/test/files/add",    control([c](const Json& b, httplib::Response& r) { addFile(*c, b, r); }));
  server.Post("/test/files/modify", control([c](const Json& b, httplib::Response& r) { modifyFile(*c, b, r); }));
  server.Post("/test/files/remove", control([c](const Json& b, httplib::Response& r) { removeFile(*c, b, r); }));
}

}  // namespace ostrel::companion
