#pragma once

// What every system's AtomicReplacement shares: the write call tests install, and the temporary
// name a replacement is written under.
#include "platform/AtomicFile.h"

#include <array>
#include <string>

namespace platform::detail {

/// The call installed with setWriteCall, or an empty one.
WriteCall installedWriteCall();

/// A name no other writer picks: ".NAME." + 12 letters drawn from `random` + ".tmp".
std::string temporaryNameFor(const std::string& name, const std::array<unsigned char, 12>& random);

/// Whether `entry` has the form of a name `temporaryNameFor` gives `name`.
bool isTemporaryNameFor(const std::string& entry, const std::string& name);

} // namespace platform::detail
