#pragma once

#include <string>

/// The quarantine folder in the home folder of the user running the program.
std::string DefaultQuarantineFolder();

/// `chosen` as an absolute path without a final separator, symbolic links resolved where it
/// exists, so that it compares with the paths of a walk (whose root is resolved the same way).
std::string ResolveQuarantineFolder(const std::string& chosen);
