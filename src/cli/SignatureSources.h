#pragma once

#include "cli/Commands.h"

#include <memory>
#include <optional>
#include <string>

class ExtraSignatures;

/// The signature sources a command uses beside the shipped database: those of the usual folders,
/// then those of each --signatures PATH, looked into as far as --max-hash-size, --max-yara-size
/// and --yara-timeout allow.
struct LoadedSignatures {
    std::shared_ptr<const ExtraSignatures> set;
    /// Whether a source had a problem (each one was reported as a warning).
    bool problems = false;
    /// The sources for checks: none when no source gave a signature, so that a scan without any
    /// does no work for them.
    const ExtraSignatures* active() const;
};

/// Loads the sources `line` names and reports each problem as "kesto: PATH: problem" on
/// `streams.err`. None when an option's value is bad (reported as a usage error).
std::optional<LoadedSignatures> LoadSignatureSources(const CommandLine& line,
                                                     CommandStreams streams);

/// A size such as "4096", "64K", "16M" or "1G" (multiples of 1024); none for anything else.
std::optional<std::uint64_t> ParseByteSize(const std::string& text);
