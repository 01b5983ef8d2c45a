#include "update/SignatureUpdate.h"

#include "platform/Digest.h"
#include "platform/FileFacts.h"
#include "update/InstallRoot.h"
#include "update/Minisign.h"
#include "update/SetFile.h"
#include "update/TrustedKeys.h"

namespace {

constexpr const char* kCurrentSet = "signatures";
constexpr const char* kPreviousSet = "signatures.previous";
/// A set being installed; one left by a killed run is removed at the next run.
constexpr const char* kNewSetPrefix = "signatures.new-";

UpdateOutcome failure(std::string message, std::vector<std::string> warnings) {
    UpdateOutcome outcome;
    outcome.message = std::move(message);
    outcome.warnings = std::move(warnings);
    return outcome;
}

/// Reads the manifest of the set `name` in `root`; none, with `error` empty, when there is no
/// such set.
std::optional<UpdateManifest> readSetManifest(const platform::FolderHandle& root,
                                              const std::string& rootPath, const char* name,
                                              std::string& error) {
    error.clear();
    platform::FolderHandle set;
    if (const std::error_code ec = set.openChild(root, name)) {
        if (ec != std::errc::no_such_file_or_directory) {
            error = rootPath + "/" + name + " cannot be opened: " + ec.message();
        }
        return std::nullopt;
    }
    std::string text;
    platform::FileFacts facts;
    if (const std::error_code ec =
            platform::readFileAt(set, kManifestName, kManifestLimit, text, facts)) {
        error = rootPath + "/" + name + "/" + kManifestName + " cannot be read: " + ec.message();
        return std::nullopt;
    }
    std::optional<UpdateManifest> manifest = ParseUpdateManifest(text, error);
    if (!manifest) {
        error = rootPath + "/" + name + "/" + kManifestName + ": " + error;
    }
    return manifest;
}

/// Fetches the small file `name` of `source` whole.
std::string fetchWhole(UpdateSource& source, const char* name, std::uint64_t limit,
                       std::string& text) {
    text.clear();
    return source.fetch(name, limit, [&](std::string_view piece) {
        text += piece;
        return true;
    });
}

/// Fetches the file `file` of `source` into the new set, checking its size and hash as it
/// arrives.
std::string fetchFile(UpdateSource& source, const ManifestFile& file,
                      const platform::FolderHandle& set, const std::string& setPath) {
    SetFile output;
    if (std::string error = output.create(set, setPath, file.name); !error.empty()) {
        return error;
    }
    platform::Sha256 hash;
    if (!hash.ready()) {
        return "the SHA-256 hash could not be set up";
    }
    std::uint64_t received = 0;
    std::string writeError;
    std::string error = source.fetch(file.name, file.size, [&](std::string_view piece) {
        received += piece.size();
        if (received > file.size) {
            return false; // the source should have stopped at the limit; never trust it did
        }
        hash.update(piece);
        writeError = output.write(piece);
        return writeError.empty();
    });
    if (!writeError.empty()) {
        return writeError;
    }
    if (received > file.size) {
        return file.name + " is larger than the manifest says (" + std::to_string(file.size) +
               " bytes)";
    }
    if (!error.empty()) {
        return error; // sources name the file in their reasons
    }
    if (received != file.size) {
        return file.name + " has " + std::to_string(received) + " bytes, the manifest says " +
               std::to_string(file.size);
    }
    if (hash.hexDigest() != file.sha256) {
        return file.name + " does not have the SHA-256 the manifest gives";
    }
    return output.finish();
}

std::string writeWhole(const platform::FolderHandle& set, const std::string& setPath,
                       const char* name, std::string_view text) {
    SetFile output;
    std::string error = output.create(set, setPath, name);
    if (error.empty()) {
        error = output.write(text);
    }
    return error.empty() ? output.finish() : error;
}

/// Writes the whole set into the new folder `set`: every file, then the manifest and its
/// signature as they were fetched.
std::string writeSet(UpdateSource& source, const UpdateManifest& manifest,
                     std::string_view manifestText, std::string_view signatureText,
                     const platform::FolderHandle& set, const std::string& setPath) {
    for (const ManifestFile& file : manifest.files) {
        if (std::string error = fetchFile(source, file, set, setPath); !error.empty()) {
            return error;
        }
    }
    std::string error = writeWhole(set, setPath, kManifestName, manifestText);
    if (error.empty()) {
        error = writeWhole(set, setPath, kManifestSignatureName, signatureText);
    }
    return error.empty() ? SyncFolder(set, setPath) : error;
}

/// Puts the complete set `newSet` in place of the current one, which becomes the previous set.
/// Before the switch a failure leaves everything as it was; after it, what could not be done is
/// a warning: the new set is in place, and an old set left under the temporary name goes with the
/// stale sets of the next run.
std::string switchIn(const InstallRoot& root, const std::string& newSet,
                     std::vector<std::string>& warnings) {
    bool current = false;
    if (std::string error = root.folderExists(kCurrentSet, current); !error.empty()) {
        return error;
    }
    if (!current) {
        std::string error = root.rename(newSet, kCurrentSet);
        if (error.empty()) {
            if (std::string unsynced = root.sync(); !unsynced.empty()) {
                warnings.push_back(unsynced + ".");
            }
        }
        return error;
    }
    // One step: a scan that starts now reads the old set or the new one, never a mix.
    if (std::string error = root.exchange(newSet, kCurrentSet); !error.empty()) {
        return error;
    }
    // The old set takes the previous set's place the same way, so that a complete previous set
    // is there at every moment; the one it replaces is removed afterwards.
    bool previous = false;
    std::string error = root.folderExists(kPreviousSet, previous);
    if (error.empty()) {
        error = previous ? root.exchange(newSet, kPreviousSet) : root.rename(newSet, kPreviousSet);
    }
    if (!error.empty()) {
        warnings.push_back("The set before is not kept: " + error + ".");
    } else if (previous) {
        if (std::string left = root.removeFolder(newSet); !left.empty()) {
            warnings.push_back(left + ".");
        }
    }
    if (std::string unsynced = root.sync(); !unsynced.empty()) {
        warnings.push_back(unsynced + ".");
    }
    return {};
}

std::string setText(const UpdateManifest& manifest) {
    const std::size_t count = manifest.files.size();
    return "version " + std::to_string(manifest.version) + " of " + manifest.date + ", " +
           std::to_string(count) + (count == 1 ? " file" : " files");
}

} // namespace

UpdateOutcome InstallUpdate(UpdateSource& source, const UpdatePaths& paths) {
    std::vector<std::string> warnings;
    std::vector<MinisignKey> keys;
    if (std::string error = LoadTrustedKeys(paths.trustedKeys, keys, warnings); !error.empty()) {
        return failure("No update: " + error + ".", std::move(warnings));
    }
    if (keys.empty()) {
        return failure("No update: there is no trusted key in " + paths.trustedKeys + ".",
                       std::move(warnings));
    }
    InstallRoot root;
    if (std::string error = root.open(paths.installRoot); !error.empty()) {
        return failure("No update: " + error + ".", std::move(warnings));
    }
    root.removeStaleFolders(kNewSetPrefix, warnings);

    const std::string from = " from " + source.describe();
    std::string manifestText;
    std::string signatureText;
    std::string error = fetchWhole(source, kManifestName, kManifestLimit, manifestText);
    if (error.empty()) {
        error = fetchWhole(source, kManifestSignatureName, kManifestSignatureLimit, signatureText);
    }
    if (!error.empty()) {
        return failure("No update" + from + ": " + error + ".", std::move(warnings));
    }
    const std::optional<MinisignSignature> signature = ParseMinisignSignature(signatureText, error);
    if (signature) {
        error = VerifyMinisign(manifestText, *signature, keys);
    }
    if (!error.empty()) {
        return failure("No update" + from + ": " + kManifestSignatureName + ": " + error + ".",
                       std::move(warnings));
    }
    const std::optional<UpdateManifest> manifest = ParseUpdateManifest(manifestText, error);
    if (!manifest) {
        return failure("No update" + from + ": " + error + ".", std::move(warnings));
    }

    // What is installed decides whether the offer is news: an older signed set replayed by
    // someone between the publisher and this computer must not replace a newer one.
    const std::optional<UpdateManifest> installed =
        readSetManifest(root.folder(), paths.installRoot, kCurrentSet, error);
    if (!error.empty()) {
        warnings.push_back("The installed set is taken for none: " + error + ".");
    }
    const std::uint64_t installedVersion = installed ? installed->version : 0;
    if (manifest->version == installedVersion) {
        UpdateOutcome outcome;
        outcome.ok = true;
        outcome.version = installedVersion;
        outcome.message =
            "Signatures are up to date (version " + std::to_string(installedVersion) + ").";
        outcome.warnings = std::move(warnings);
        return outcome;
    }
    if (manifest->version < installedVersion) {
        UpdateOutcome outcome = failure(
            "No update" + from + ": it offers version " + std::to_string(manifest->version) +
                ", older than the installed version " + std::to_string(installedVersion) + ".",
            std::move(warnings));
        outcome.version = installedVersion;
        return outcome;
    }

    std::string newSet;
    platform::FolderHandle set;
    error = root.makeUniqueFolder(kNewSetPrefix, newSet, set);
    const std::string setPath = paths.installRoot + "/" + newSet;
    if (error.empty()) {
        error = writeSet(source, *manifest, manifestText, signatureText, set, setPath);
    }
    set.close();
    if (error.empty()) {
        error = switchIn(root, newSet, warnings);
    }
    if (!error.empty()) {
        if (!newSet.empty()) {
            if (std::string left = root.removeFolder(newSet); !left.empty()) {
                warnings.push_back(left + ".");
            }
        }
        UpdateOutcome outcome =
            failure("No update" + from + ": " + error + ".", std::move(warnings));
        outcome.version = installedVersion;
        return outcome;
    }
    UpdateOutcome outcome;
    outcome.ok = true;
    outcome.changed = true;
    outcome.version = manifest->version;
    outcome.message = "Installed signature set " + setText(*manifest) + ".";
    outcome.warnings = std::move(warnings);
    return outcome;
}

UpdateOutcome RollBackUpdate(const UpdatePaths& paths) {
    std::vector<std::string> warnings;
    InstallRoot root;
    if (std::string error = root.open(paths.installRoot); !error.empty()) {
        return failure("No rollback: " + error + ".", std::move(warnings));
    }
    root.removeStaleFolders(kNewSetPrefix, warnings);
    bool previous = false;
    bool current = false;
    std::string error = root.folderExists(kPreviousSet, previous);
    if (error.empty()) {
        error = root.folderExists(kCurrentSet, current);
    }
    if (error.empty() && !previous) {
        error = "there is no earlier signature set";
    }
    if (error.empty()) {
        error = current ? root.exchange(kPreviousSet, kCurrentSet)
                        : root.rename(kPreviousSet, kCurrentSet);
    }
    if (!error.empty()) {
        return failure("No rollback: " + error + ".", std::move(warnings));
    }
    // The set rolled back from goes, so that a second rollback does not bring it back.
    if (current) {
        if (std::string left = root.removeFolder(kPreviousSet); !left.empty()) {
            warnings.push_back("The set rolled back from stays: " + left + ".");
        }
    }
    if (std::string unsynced = root.sync(); !unsynced.empty()) {
        warnings.push_back(unsynced + ".");
    }
    UpdateOutcome outcome;
    outcome.ok = true;
    outcome.changed = true;
    const std::optional<UpdateManifest> manifest =
        readSetManifest(root.folder(), paths.installRoot, kCurrentSet, error);
    if (manifest) {
        outcome.version = manifest->version;
        outcome.message = "Rolled back to signature set " + setText(*manifest) + ".";
    } else {
        outcome.message = "Rolled back to the earlier signature set.";
        if (!error.empty()) {
            warnings.push_back(error + ".");
        }
    }
    outcome.warnings = std::move(warnings);
    return outcome;
}

std::optional<UpdateManifest> InstalledSet(const UpdatePaths& paths, std::string& error) {
    error.clear();
    platform::FolderHandle root;
    if (const std::error_code ec = root.openPath(paths.installRoot)) {
        if (ec != std::errc::no_such_file_or_directory) {
            error =
                "the install folder " + paths.installRoot + " cannot be opened: " + ec.message();
        }
        return std::nullopt;
    }
    return readSetManifest(root, paths.installRoot, kCurrentSet, error);
}

std::string InstalledSignatureFolder(const UpdatePaths& paths) {
    return paths.installRoot + "/" + kCurrentSet;
}
