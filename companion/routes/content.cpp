#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "companion/routes/replies.hpp"
#include "companion/routes/routes.hpp"

namespace ostrel::companion::routes {
namespace {

constexpr std::size_t chunkBytes = 256 * 1024;

}  // namespace

void content(Companion& companion, const httplib::Request& req, httplib::Response& res) {
  if (refusedByState(companion.settings.get(), res)) return;
  if (!req.has_param("id")) {
    replyError(res, 400, "The request names no file id.");
    return;
  }
  std::string id = req.get_param_value("id");
  if (!companion.vault.index().find(id)) {
    replyError(res, 404, "There is no file with that id in the vault.");
    return;
  }
  // The open descriptor keeps these bytes even if the blob is replaced or
  // removed while they are sent.
  auto fd = std::make_shared<platform::UniqueFd>(companion.vault.blobs().open(id));
  struct stat status {};
  if (!*fd || ::fstat(fd->get(), &status) != 0) {
    replyError(res, 500, "The vault has lost the contents of that file.");
    return;
  }
  auto length = static_cast<std::size_t>(status.st_size);
  res.status = 200;
  if (length == 0) {
    // Announces the empty body; a provider of no bytes would announce none.
    res.set_content("", "application/octet-stream");
    return;
  }
  res.set_content_provider(length, "application/octet-stream",
                           [fd, length](std::size_t offset, std::size_t wanted, httplib::DataSink& sink) {
                             std::vector<char> buffer(std::min({wanted, chunkBytes, length - offset}));
                             ssize_t n = ::pread(fd->get(), buffer.data(), buffer.size(), static_cast<off_t>(offset));
                             if (n < 0 && errno == EINTR) return true;
                             // A blob that shrank under us ends the reply
                             // short, which the client sees as a cut.
                             if (n <= 0) return false;
                             return sink.write(buffer.data(), static_cast<std::size_t>(n));
                           });
}

}  // namespace ostrel::companion::routes
