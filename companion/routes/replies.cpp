#include "companion/routes/replies.hpp"

#include <cstdio>

namespace ostrel::companion {

void replyJson(httplib::Response& res, int status, const nlohmann::json& body) {
  res.status = status;
  // Names are checked on the way in; replacing stays a safety net so a reply
  // is always sent.
  res.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/json");
}

void replyError(httplib::Response& res, int status, const std::string& sentence, const nlohmann::json& extra) {
  nlohmann::json body = extra;
  body["error"] = sentence;
  replyJson(res, status, body);
}

void closeAfterReply(httplib::Response& res) { res.set_header("Connection", "close"); }

bool refusedByState(const Settings& settings, httplib::Response& res) {
  switch (settings.state) {
    case AccountState::ready:
      return false;
    case AccountState::signedOut:
      replyError(res, 403, "Sign in to Ostrel to use this folder.");
      return true;
    case AccountState::notReady:
      replyError(res, 409, "no vault bound");
      return true;
    case AccountState::clearing:
    case AccountState::stuck:
      replyError(res, 503, "Ostrel is clearing the previous account\u2019s files.");
      return true;
  }
  return false;
}

nlohmann::json recordJson(const FileRecord& record) {
  nlohmann::json out = {
      {"id", record.id},
      {"filename", record.filename},
      {"size", record.size},
      {"modifiedAt", record.modifiedAt},
      {"residency", slug(record.residency)},
      {"materialized", record.materialized},
  };
  if (!record.folder.empty()) out["folder"] = record.folder;
  return out;
}

std::string tooLargeSentence(const std::string& filename, std::int64_t size, std::int64_t limit) {
  char text[160];
  std::snprintf(text, sizeof text, "\u201D is %.1f MB. The Ostrel folder accepts files up to %.1f MB.",
                static_cast<double>(size) / 1048576.0, static_cast<double>(limit) / 1048576.0);
  return "\u201C" + filename + text;
}

}  // namespace ostrel::companion
