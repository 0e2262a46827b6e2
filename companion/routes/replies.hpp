#pragma once

#include <string>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "companion/account_state.hpp"
#include "companion/file_record.hpp"

namespace ostrel::companion {

void replyJson(httplib::Response& res, int status, const nlohmann::json& body);
// {"error": sentence} merged with `extra`.
void replyError(httplib::Response& res, int status, const std::string& sentence,
                const nlohmann::json& extra = nlohmann::json::object());
// For a reply sent before the request body was read: the unread bytes must
// not be taken for the next request on the connection.
void closeAfterReply(httplib::Response& res);

// Answers a vault request that the account state does not allow and
// returns true; false when the vault may serve.
bool refusedByState(const Settings& settings, httplib::Response& res);

nlohmann::json recordJson(const FileRecord& record);

// The size-limit sentence, with sizes in megabytes of 1,048,576 bytes.
std::string tooLargeSentence(const std::string& filename, std::int64_t size, std::int64_t limit);

}  // namespace ostrel::companion
