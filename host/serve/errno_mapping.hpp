#pragma once

#include "platform/fileprovider/error.hpp"

namespace ostrel::host {

// The one place an extension error becomes the errno a file manager sees;
// docs/host-errno.md lists the choices.
int errnoFor(const platform::fileprovider::Error& error);

// The companion app cannot serve right now: the extension's temporary error.
bool isServerUnreachable(const platform::fileprovider::Error& error);

}  // namespace ostrel::host
