#pragma once

#include <httplib.h>

#include "companion/companion.hpp"

// The five endpoints the extension calls. Each answers one request; the
// server has checked the token before any of them runs.
namespace ostrel::companion::routes {

void enumerate(Companion& companion, const httplib::Request& req, httplib::Response& res);
void content(Companion& companion, const httplib::Request& req, httplib::Response& res);
void reparent(Companion& companion, const httplib::Request& req, httplib::Response& res);
void ingest(Companion& companion, const httplib::Request& req, httplib::Response& res);
void ingestStream(Companion& companion, const httplib::Request& req, httplib::Response& res,
                  const httplib::ContentReader& reader);

}  // namespace ostrel::companion::routes
