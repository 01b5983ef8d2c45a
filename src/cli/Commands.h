#pragma once

#include "cli/CommandLine.h"
#include "platform/SmartDevice.h"
#include "tools/SystemInfo.h"
#include "tools/modReg.h"

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

/// Where a command writes: results to `out`, messages to `err`.
struct CommandStreams {
    std::ostream& out;
    std::ostream& err;
};

/// Exit codes as command-line scanners use them.
enum ExitCode : int {
    kExitClean = 0,
    kExitDetected = 1,
    kExitError = 2,
    kExitInterrupted = 130, ///< stopped by Ctrl+C with nothing listed
};

int runInspect(const CommandLine& line, CommandStreams streams);
int runSignatures(const CommandLine& line, CommandStreams streams);
int runScan(const CommandLine& line, CommandStreams streams);
/// `cache stats [--json]|clear`: the verdict cache of the user, or the one in --cache-dir.
int runCache(const CommandLine& line, CommandStreams streams);
int runInfo(const CommandLine& line, CommandStreams streams);
/// `info` over the drives of `sources`, their space from `query`.
int runInfoWith(const CommandLine& line, CommandStreams streams,
                const platform::DriveSources& sources, const SystemInfo::SpaceQuery& query);
/// `quarantine list|restore NAME [--to DIR]|delete NAME` over the quarantine folder.
int runQuarantine(const CommandLine& line, CommandStreams streams);
/// `smart [DEVICE]`: the disk health report of the four slots, or of one device.
int runSmart(const CommandLine& line, CommandStreams streams);
/// Where `smart` finds drives, and what asks a DEVICE once it was opened and checked (by default
/// the system's SMART requests); tests replace both. `slots` and `slotDevice`, when set, replace
/// the system's slots and what asks them.
struct SmartSystem {
    platform::SmartSysfs sysfs;
    std::function<std::unique_ptr<platform::SmartDevice>(platform::CheckedDrive)> ask;
    std::function<std::vector<platform::SmartSlot>()> slots;
    std::function<std::unique_ptr<platform::SmartDevice>(const std::vector<platform::SmartSlot>&)>
        slotDevice;
};
int runSmartWith(const CommandLine& line, CommandStreams streams, const SmartSystem& system);
/// `usb-lock status|lock|unlock` against the system's rule folder, or against `where`.
int runUsbLock(const CommandLine& line, CommandStreams streams);
int runUsbLockAt(const CommandLine& line, CommandStreams streams, const modReg::Locations& where);
/// `encrypt FILE` and `decrypt FILE` with the user's key, or with the key in `keyFolder`.
int runEncrypt(const CommandLine& line, CommandStreams streams);
int runDecrypt(const CommandLine& line, CommandStreams streams);
int runEncryptWith(const CommandLine& line, CommandStreams streams, const std::string& keyFolder);
int runDecryptWith(const CommandLine& line, CommandStreams streams, const std::string& keyFolder);

/// `guard [--watch PATH]...`: the real-time guard, until stopped; `guard status` shows it.
int runGuard(const CommandLine& line, CommandStreams streams);
/// `guard status [--json]`: whether a guard runs, from the status file in --state-dir or the
/// system's folder; 0 when one runs, 1 when none does, 2 when the status file cannot be read.
int runGuardStatus(const CommandLine& line, CommandStreams streams);

/// `update [SOURCE]` and `update --rollback`: installs the signed signature set that SOURCE (a
/// folder or an http(s):// address; else the one named in /etc/kesto/update-source) offers, or
/// goes back to the previous set; 0 when installed or up to date, 2 for every failure. Linux only.
int runUpdate(const CommandLine& line, CommandStreams streams);
/// `update` taking its default source from `sourceFile` instead of /etc/kesto/update-source.
int runUpdateWith(const CommandLine& line, CommandStreams streams, const std::string& sourceFile);

/// Reports a usage problem as one line and where to read more; returns kExitError.
int usageError(CommandStreams streams, const std::string& problem);

/// The database the command line uses: --database, else the one beside the program.
std::string databasePathFor(const CommandLine& line);

/// Parses and runs one `kesto` invocation; returns its exit code.
int runKesto(const std::vector<std::string>& arguments, CommandStreams streams);
