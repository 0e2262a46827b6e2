#include "host/serve/control_server_requests.hpp"

#include <array>
#include <cerrno>

#include <nlohmann/json.hpp>
#include <simdjson.h>

#include "platform/fileprovider/control_socket.hpp"

namespace ostrel::host {
namespace {

using Json = nlohmann::ordered_json;
using platform::fileprovider::Domain;
using platform::fileprovider::Error;
using platform::fileprovider::RemovalMode;
using Object = simdjson::dom::object;

// Thrown while decoding; becomes an EINVAL reply.
struct BadRequest {
  std::string what;
};

std::string line(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

Json errorJson(const Error& error) {
  Json json{{"domain", error.domain}, {"code", error.code}};
  if (error.localizedDescription) json["description"] = *error.localizedDescription;
  return json;
}

std::string reply(const std::optional<Error>& error) {
  return error ? line(Json{{"error", errorJson(*error)}}) : "{}";
}

std::string text(Object object, const char* key, bool required) {
  simdjson::dom::element element;
  if (object[key].get(element) != simdjson::SUCCESS || element.is_null()) {
    if (required) throw BadRequest{std::string("\"") + key + "\" is missing"};
    return {};
  }
  std::string_view value;
  if (element.get_string().get(value) != simdjson::SUCCESS) {
    throw BadRequest{std::string("\"") + key + "\" is not a string"};
  }
  return std::string(value);
}

Object object(Object parent, const char* key) {
  Object value;
  if (parent[key].get_object().get(value) != simdjson::SUCCESS) {
    throw BadRequest{std::string("\"") + key + "\" is not an object"};
  }
  return value;
}

Domain domainOf(Object request) {
  Object fields = object(request, "domain");
  return {text(fields, "identifier", true), text(fields, "displayName", false)};
}

std::string getDomains(MountedDomains& domains, Object) {
  Json list = Json::array();
  for (const Domain& domain : domains.domains()) {
    Json entry{{"identifier", domain.identifier}};
    if (!domain.displayName.empty()) entry["displayName"] = domain.displayName;
    list.push_back(std::move(entry));
  }
  return line(Json{{"domains", std::move(list)}});
}

std::string addDomain(MountedDomains& domains, Object request) {
  return reply(domains.add(domainOf(request)));
}

std::string removeDomain(MountedDomains& domains, Object request) {
  std::int64_t mode = 0;
  if (request["mode"].get_int64().get(mode) != simdjson::SUCCESS) {
    throw BadRequest{"\"mode\" is not an integer"};
  }
  if (mode < 0 || mode > 2) throw BadRequest{"\"mode\" must be 1 or 2"};
  auto result = domains.remove(domainOf(request), static_cast<RemovalMode>(mode));
  if (auto* error = std::get_if<Error>(&result)) return reply(*error);
  const auto& at = std::get<std::optional<std::filesystem::path>>(result);
  return line(Json{{"preservedAt", at ? Json(at->string()) : Json(nullptr)}});
}

std::string signalErrorResolved(MountedDomains& domains, Object request) {
  Object fields = object(request, "error");
  std::int64_t code = 0;
  if (fields["code"].get_int64().get(code) != simdjson::SUCCESS) {
    throw BadRequest{"\"error.code\" is not an integer"};
  }
  std::string description = text(fields, "description", false);
  Error resolved{text(fields, "domain", true), code,
                 description.empty() ? std::nullopt : std::optional<std::string>(description)};
  return reply(domains.errorResolved(domainOf(request), resolved));
}

std::string signalEnumerator(MountedDomains& domains, Object request) {
  return reply(domains.signalEnumerator(domainOf(request), text(request, "container", true)));
}

struct Op {
  std::string_view name;
  std::string (*answer)(MountedDomains&, Object);
};

// Every op the control socket answers.
constexpr std::array<Op, 5> ops{{
    {"getDomains",          getDomains},
    {"addDomain",           addDomain},
    {"removeDomain",        removeDomain},
    {"signalErrorResolved", signalErrorResolved},
    {"signalEnumerator",    signalEnumerator},
}};

Error invalid(std::string what) {
  return {platform::fileprovider::kControlSocketErrorDomain, EINVAL,
          "the request is not valid: " + std::move(what)};
}

}  // namespace

std::string errorReply(const Error& error) noexcept {
  try {
    return line(Json{{"error", errorJson(error)}});
  } catch (...) {
    return R"({"error":{"domain":"com.ostrel.fileprovider.control","code":12}})";
  }
}

std::string answerRequest(MountedDomains& domains, std::string_view request) noexcept {
  try {
    simdjson::dom::parser parser;
    Object fields;
    if (parser.parse(request.data(), request.size()).get_object().get(fields) != simdjson::SUCCESS) {
      return errorReply(invalid("not a JSON object"));
    }
    std::string op = text(fields, "op", true);
    for (const Op& entry : ops) {
      if (entry.name == op) return entry.answer(domains, fields);
    }
    return errorReply(invalid("unknown op \"" + op + "\""));
  } catch (const BadRequest& bad) {
    return errorReply(invalid(bad.what));
  } catch (const std::exception& e) {
    return errorReply(Error::fromException(e));
  } catch (...) {
    return errorReply({platform::fileprovider::kControlSocketErrorDomain, EIO, "the request failed"});
  }
}

}  // namespace ostrel::host
