#pragma once

#include "update/UpdateSource.h"

#include <memory>
#include <string>

/// A web source: `url` names the folder (http:// or https://) that holds the manifest and the
/// files, each fetched as URL + its name. Only http and https are spoken, redirects included (an
/// https source is never redirected to plain http); a connection must open within 30 seconds, and
/// a transfer slower than 1 KB/s for a minute is given up. An HTTP error status, or a body shorter
/// than its Content-Length, fails the fetch. None, with `error` saying why, for an address that is
/// not an http(s) address.
std::unique_ptr<UpdateSource> OpenHttpSource(const std::string& url, std::string& error);
