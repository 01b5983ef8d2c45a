#include "cli/Commands.h"
#include "platform/FileFacts.h"
#include "scanner/PrintableName.h"
#include "signatures/SourceTrust.h"
#include "update/HttpSource.h"
#include "update/SignatureUpdate.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>

namespace {

/// Where the timer's run (`kesto update` without a SOURCE) finds its source.
constexpr const char* kSourceFile = "/etc/kesto/update-source";
/// The most of the source file read: one address and comments.
constexpr std::uint64_t kSourceFileLimit = 64 * 1024;

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trimmed(const std::string& text) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? std::string(first, last) : std::string();
}

/// The source named in `path`: its first line that is neither blank nor a '#' comment. None, and
/// `error` empty, when the file or its folder does not exist or names no source; none with
/// `error` saying why when it cannot be read or others could have changed it.
std::optional<std::string> configuredSource(const std::string& path, std::string& error) {
    const std::size_t slash = path.rfind('/');
    const std::string folderPath =
        slash == std::string::npos ? "." : path.substr(0, std::max<std::size_t>(slash, 1));
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    platform::FolderHandle folder;
    std::string failedAt;
    std::error_code code = folderPath[0] == '/'
                               ? platform::openFolderWithoutLinks(folderPath, folder, failedAt)
                               : folder.openPath(folderPath);
    std::string text;
    platform::FileFacts facts;
    if (!code) {
        code = platform::readFileAt(folder, name, kSourceFileLimit, text, facts);
    }
    if (code == std::errc::no_such_file_or_directory) {
        return std::nullopt;
    }
    if (code) {
        error = "cannot read " + PrintableName(path) + ": " + code.message();
        return std::nullopt;
    }
    // Root's update run takes its address from here: a file that others may change could send it
    // elsewhere (the signature still decides what is installed, but not what is downloaded).
    if (const std::string refusal = SourceRefusal(facts, platform::effectiveUser());
        !refusal.empty()) {
        error = PrintableName(path) + " is not used: " + refusal;
        return std::nullopt;
    }
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        const std::string line = trimmed(text.substr(start, end - start));
        if (!line.empty() && line[0] != '#') {
            return line;
        }
        start = end + 1;
    }
    return std::nullopt;
}

/// The source `name` names: an http:// or https:// address, else a folder.
std::unique_ptr<UpdateSource> openSource(const std::string& name, std::string& error) {
    const std::size_t scheme = name.find("://");
    if (scheme == std::string::npos) {
        return OpenFolderSource(name, error);
    }
    const std::string kind = lowered(name.substr(0, scheme));
    if (kind != "http" && kind != "https") {
        error =
            "'" + PrintableName(name) + "' is neither a folder nor an http:// or https:// address";
        return nullptr;
    }
    return OpenHttpSource(name, error);
}

} // namespace

int runUpdate(const CommandLine& line, CommandStreams streams) {
    return runUpdateWith(line, streams, kSourceFile);
}

int runUpdateWith(const CommandLine& line, CommandStreams streams, const std::string& sourceFile) {
    if (line.operands.size() > 1) {
        return usageError(streams, "update takes one SOURCE");
    }
    if (line.rollback && !line.operands.empty()) {
        return usageError(streams, "update --rollback takes no SOURCE");
    }
    if (line.installRoot && line.installRoot->empty()) {
        return usageError(streams, "--install-root needs a folder");
    }
    if (line.trustedKeys && line.trustedKeys->empty()) {
        return usageError(streams, "--trusted-keys needs a folder");
    }
    UpdatePaths paths;
    paths.installRoot = line.installRoot.value_or(paths.installRoot);
    paths.trustedKeys = line.trustedKeys.value_or(paths.trustedKeys);
    if (!line.installRoot && !platform::runningAsRoot()) {
        streams.err << "kesto update needs root: it changes the system's signatures in "
                    << paths.installRoot
                    << " (run it with sudo, or name a folder of yours with --install-root)\n";
        return kExitError;
    }

    UpdateOutcome outcome;
    if (line.rollback) {
        outcome = RollBackUpdate(paths);
    } else {
        std::string error;
        std::optional<std::string> name;
        if (!line.operands.empty()) {
            name = line.operands.front();
        } else {
            name = configuredSource(sourceFile, error);
        }
        if (!name) {
            streams.err << "kesto: "
                        << (error.empty() ? "no update source: name one, or write it in " +
                                                PrintableName(sourceFile)
                                          : error)
                        << '\n';
            return kExitError;
        }
        const std::unique_ptr<UpdateSource> source = openSource(*name, error);
        if (!source) {
            streams.err << "kesto: " << error << '\n';
            return kExitError;
        }
        outcome = InstallUpdate(*source, paths);
    }
    for (const std::string& warning : outcome.warnings) {
        streams.err << "kesto: warning: " << warning << '\n';
    }
    if (!outcome.ok) {
        streams.err << "kesto: " << outcome.message << '\n';
        return kExitError;
    }
    streams.out << outcome.message << '\n';
    return kExitClean;
}
