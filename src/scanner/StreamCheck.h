#pragma once

#include "scanner/FileCheck.h"

#include <functional>
#include <string>

/// The check of data without a name, such as standard input, read from the open descriptor `fd`.
/// With no name it has no type, so it is not searched for the program patterns; data under
/// 750 KB gets the checksum lookup, and then the extra sources' judgement, and is listed under
/// `location`; larger data is not examined (and not read past that limit). A signal during the read
/// ends it when `stopRequested` says so; `stopped` then tells that the data was not checked.
FileCheckResult CheckStream(int fd, const std::string& location, const FileCheckContext& context,
                            const std::function<bool()>& stopRequested, bool& stopped);
