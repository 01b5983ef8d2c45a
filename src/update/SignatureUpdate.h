#pragma once

#include "update/UpdateManifest.h"
#include "update/UpdateSource.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// Where updates install signature sets and which keys they trust.
struct UpdatePaths {
    std::string installRoot = "/var/lib/kesto";
    std::string trustedKeys = "/etc/kesto/trusted-keys";
};

/// What an update or a rollback did.
struct UpdateOutcome {
    bool ok = false;
    /// Whether the installed set is another one now.
    bool changed = false;
    /// The version of the set installed afterwards (0: none).
    std::uint64_t version = 0;
    /// One line for the user: what was done, or why nothing was.
    std::string message;
    /// Keys left out, stale folders that could not be removed, and the like.
    std::vector<std::string> warnings;
};

/// Installs the signed set that `source` offers when it is newer than the installed one. The
/// manifest's signature is checked against the trusted keys, every file against the manifest's
/// size and SHA-256 while it arrives, and the new set replaces the installed one in one atomic
/// step, the old one kept as the previous set. Any failure leaves the installed and previous sets
/// as they were. Runs under the install root's lock.
UpdateOutcome InstallUpdate(UpdateSource& source, const UpdatePaths& paths);

/// Puts the previous set back in place of the current one, which is removed; fails when there is
/// no previous set. Runs under the install root's lock.
UpdateOutcome RollBackUpdate(const UpdatePaths& paths);

/// The current set's manifest, when one is installed; none, with `error` empty, when no set is,
/// and none with `error` saying why when it cannot be read.
std::optional<UpdateManifest> InstalledSet(const UpdatePaths& paths, std::string& error);

/// "/var/lib/kesto/signatures" (or under installRoot): what the scanner reads as the system's
/// signature folder.
std::string InstalledSignatureFolder(const UpdatePaths& paths);
