#include "host/serve/status_report.hpp"

#include <nlohmann/json.hpp>

#include "host/serve/display_folder.hpp"
#include "host/serve/domain_state.hpp"
#include "host/serve/pending_store.hpp"

namespace ostrel::host {

namespace fs = std::filesystem;

std::string statusReport(const fs::path& stateFolder) {
  nlohmann::json domains = nlohmann::json::array();
  for (const auto& domain : loadDomains(stateFolder / "domains.json")) {
    nlohmann::json pending = nlohmann::json::array();
    nlohmann::json excluded = nlohmann::json::array();
    const fs::path area = pendingFolder(stateFolder / domain.identifier);
    std::error_code ec;
    if (fs::is_directory(area, ec)) {
      for (const auto& record : PendingStore(area).files()) {
        nlohmann::json file{{"path", (displayFolder(record.parent) / record.name).string()},
                            {"state", stateName(record.state)}};
        if (!record.error.empty()) file["error"] = record.error;
        (record.state == LocalState::excluded ? excluded : pending).push_back(std::move(file));
      }
    }
    domains.push_back({{"identifier", domain.identifier},
                       {"displayName", domain.displayName},
                       {"pending", std::move(pending)},
                       {"excluded", std::move(excluded)}});
  }
  nlohmann::json report{{"domains", std::move(domains)}};
  return report.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace ostrel::host
