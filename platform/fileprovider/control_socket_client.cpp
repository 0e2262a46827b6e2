#include "platform/fileprovider/control_socket_client.hpp"

#include <cerrno>

#include <nlohmann/json.hpp>
#include <simdjson.h>

#include "platform/fileprovider/control_socket.hpp"

namespace ostrel::platform::fileprovider {
namespace {

using Json = nlohmann::ordered_json;
using Reply = std::variant<std::string, Error>;

// Thrown while decoding a reply; becomes the completion's error.
struct BadReply {
  std::string what;
};

Error badReply(const std::string& what) {
  return {kControlSocketErrorDomain, EPROTO,
          "the file-provider host sent a reply that is not valid: " + what};
}

// Replaces invalid UTF-8 rather than throwing on the caller's thread.
std::string line(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json domainJson(const Domain& domain) {
  Json json{{"identifier", domain.identifier}};
  if (!domain.displayName.empty()) json["displayName"] = domain.displayName;
  return json;
}

std::string text(simdjson::dom::element element, const char* what) {
  std::string_view value;
  if (element.get_string().get(value) != simdjson::SUCCESS) {
    throw BadReply{std::string(what) + " is not a string"};
  }
  return std::string(value);
}

std::string requiredText(simdjson::dom::object object, const char* key, const char* what) {
  simdjson::dom::element element;
  if (object[key].get(element) != simdjson::SUCCESS) throw BadReply{std::string(what) + " is missing"};
  return text(element, what);
}

std::optional<std::string> optionalText(simdjson::dom::object object, const char* key,
                                        const char* what) {
  simdjson::dom::element element;
  if (object[key].get(element) != simdjson::SUCCESS || element.is_null()) return std::nullopt;
  return text(element, what);
}

std::optional<Error> hostError(simdjson::dom::object reply) {
  simdjson::dom::element error;
  if (reply["error"].get(error) != simdjson::SUCCESS) return std::nullopt;
  simdjson::dom::object fields;
  std::int64_t code = 0;
  if (error.get_object().get(fields) != simdjson::SUCCESS ||
      fields["code"].get_int64().get(code) != simdjson::SUCCESS) {
    throw BadReply{"\"error\" lacks an integer \"code\""};
  }
  return Error{requiredText(fields, "domain", "\"error.domain\""), code,
                   optionalText(fields, "description", "\"error.localizedDescription\"")};
}

// Decodes a reply line with `decode`; a transport failure, a host error and a
// reply that does not decode all come back as the error. Nothing throws.
template <typename Decode>
auto decodeReply(const Reply& reply, Decode decode)
    -> std::variant<decltype(decode(simdjson::dom::object{})), Error> {
  if (const auto* error = std::get_if<Error>(&reply)) return *error;
  try {
    simdjson::dom::parser parser;
    simdjson::dom::object object;
    if (parser.parse(std::get<std::string>(reply)).get_object().get(object) != simdjson::SUCCESS) {
      return badReply("not a JSON object");
    }
    if (auto error = hostError(object)) return *error;
    return decode(object);
  } catch (const BadReply& bad) {
    return badReply(bad.what);
  } catch (const std::exception& e) {
    return badReply(e.what());
  }
}

struct Nothing {};

void completeWithError(const Reply& reply, const ErrorCompletion& completion) {
  auto result = decodeReply(reply, [](simdjson::dom::object) { return Nothing{}; });
  if (auto* error = std::get_if<Error>(&result)) {
    completion(std::move(*error));
  } else {
    completion(std::nullopt);
  }
}

std::vector<Domain> decodeDomains(simdjson::dom::object object) {
  simdjson::dom::array list;
  if (object["domains"].get_array().get(list) != simdjson::SUCCESS) {
    throw BadReply{"\"domains\" is not an array"};
  }
  std::vector<Domain> domains;
  for (simdjson::dom::element entry : list) {
    simdjson::dom::object fields;
    if (entry.get_object().get(fields) != simdjson::SUCCESS) {
      throw BadReply{"a domain is not an object"};
    }
    domains.push_back({requiredText(fields, "identifier", "\"identifier\""),
                       optionalText(fields, "displayName", "\"displayName\"").value_or("")});
  }
  return domains;
}

class SocketScopedManager final : public DomainScopedManager {
 public:
  SocketScopedManager(ControlSocketClient& client, Domain domain)
      : client_(client), domain_(std::move(domain)) {}

  void signalErrorResolved(const Error& error, ErrorCompletion completion) override {
    Json json{{"domain", error.domain}, {"code", error.code}};
    if (error.localizedDescription) json["description"] = *error.localizedDescription;
    request({{"op", "signalErrorResolved"}, {"domain", domainJson(domain_)}, {"error", json}},
            std::move(completion));
  }

  void signalEnumerator(const std::string& container, ErrorCompletion completion) override {
    request({{"op", "signalEnumerator"}, {"domain", domainJson(domain_)}, {"container", container}},
            std::move(completion));
  }

 private:
  void request(const Json& json, ErrorCompletion completion) {
    client_.send(line(json), [completion = std::move(completion)](const Reply& reply) {
      completeWithError(reply, completion);
    });
  }

  ControlSocketClient& client_;
  Domain domain_;
};

}  // namespace

ControlSocketClient::ControlSocketClient(std::filesystem::path socket,
                                         std::chrono::duration<double> timeout,
                                         HostStarter startHost)
    : socket_(std::move(socket)), timeout_(timeout), startHost_(std::move(startHost)) {}

ControlSocketClient::~ControlSocketClient() {
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(threadsLock_);
    threads.swap(threads_);
  }
  for (std::thread& thread : threads) thread.join();
}

void ControlSocketClient::send(std::string request,
                               std::function<void(std::variant<std::string, Error>)> handle) {
  auto deadline = std::chrono::steady_clock::now() +
                  std::chrono::duration_cast<std::chrono::steady_clock::duration>(timeout_);
  std::lock_guard lock(threadsLock_);
  threads_.emplace_back([socket = socket_, request = std::move(request), deadline,
                         startHost = startHost_, handle = std::move(handle)] {
    try {
      Reply reply = exchange(socket, request, deadline);
      if (const auto* error = std::get_if<Error>(&reply);
          error != nullptr && startHost && (error->code == ENOENT || error->code == ECONNREFUSED) &&
          startHost(deadline)) {
        reply = exchange(socket, request, deadline);
      }
      handle(std::move(reply));
    } catch (...) {
      // A completion that throws has nobody to tell on this thread.
    }
  });
}

void ControlSocketClient::getDomains(DomainsCompletion completion) {
  send(line(Json{{"op", "getDomains"}}), [completion = std::move(completion)](const Reply& reply) {
    auto result = decodeReply(reply, decodeDomains);
    if (auto* error = std::get_if<Error>(&result)) {
      completion({}, std::move(*error));
    } else {
      completion(std::move(std::get<std::vector<Domain>>(result)), std::nullopt);
    }
  });
}

void ControlSocketClient::addDomain(const Domain& domain, ErrorCompletion completion) {
  send(line(Json{{"op", "addDomain"}, {"domain", domainJson(domain)}}),
       [completion = std::move(completion)](const Reply& reply) {
         completeWithError(reply, completion);
       });
}

void ControlSocketClient::removeDomain(const Domain& domain, RemovalMode mode,
                                       RemovalCompletion completion) {
  Json json{{"op", "removeDomain"}, {"domain", domainJson(domain)}, {"mode", static_cast<int>(mode)}};
  send(line(json), [completion = std::move(completion)](const Reply& reply) {
    auto result = decodeReply(reply, [](simdjson::dom::object object) {
      return optionalText(object, "preservedAt", "\"preservedAt\"");
    });
    if (auto* error = std::get_if<Error>(&result)) {
      completion(std::nullopt, std::move(*error));
    } else if (auto& at = std::get<std::optional<std::string>>(result)) {
      completion(std::filesystem::path(*at), std::nullopt);
    } else {
      completion(std::nullopt, std::nullopt);
    }
  });
}

std::shared_ptr<DomainScopedManager> ControlSocketClient::managerForDomain(const Domain& domain) {
  if (domain.identifier.empty()) return nullptr;
  return std::make_shared<SocketScopedManager>(*this, domain);
}

}  // namespace ostrel::platform::fileprovider
