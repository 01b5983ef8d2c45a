#include "cli/Commands.h"
#include "guard/GuardStatus.h"
#include "scanner/PrintableName.h"

#include <optional>

namespace {

/// `guard status` exits as a status query does: 0 when a guard runs, 1 when none does (no
/// status file, or one a guard left when it stopped or died), 2 when a status file is there but
/// cannot be read or holds no status.
constexpr int kExitRunning = kExitClean;
constexpr int kExitNotRunning = 1;

} // namespace

int runGuardStatus(const CommandLine& line, CommandStreams streams) {
    const std::string folder = line.stateDir.value_or(kGuardStateFolder);
    std::error_code error;
    const std::optional<GuardStatus> status = ReadGuardStatus(folder, error);
    if (!status && error != std::errc::no_such_file_or_directory) {
        streams.err << "kesto: cannot read the guard status in '" << PrintableName(folder)
                    << "': " << error.message() << '\n';
        return kExitError;
    }
    const bool running = status && GuardRunningNow(*status);
    if (line.json) {
        std::string document = status ? GuardStatusJson(*status) : std::string("null");
        while (!document.empty() && document.back() == '\n') {
            document.pop_back();
        }
        streams.out << "{\"running\": " << (running ? "true" : "false")
                    << ", \"status\": " << document << "}\n";
    } else {
        for (const std::string& text : GuardStatusLines(status ? &*status : nullptr, running)) {
            streams.out << text << '\n';
        }
    }
    return running ? kExitRunning : kExitNotRunning;
}
