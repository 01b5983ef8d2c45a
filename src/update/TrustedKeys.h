#pragma once

#include "update/Minisign.h"

#include <string>
#include <vector>

/// The public keys that may sign updates: every regular file of the folder `folder` that reads as
/// a minisign public key. A file owned by another user than root or this program's user, or
/// writable by others, is left out with a warning, and so is one that cannot be read or parsed.
/// Returns why the folder itself cannot be read, or empty.
std::string LoadTrustedKeys(const std::string& folder, std::vector<MinisignKey>& keys,
                            std::vector<std::string>& warnings);
