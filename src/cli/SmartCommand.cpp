#include "cli/Commands.h"
#include "cli/SmartReport.h"
#include "platform/SmartDevice.h"
#include "scanner/PrintableName.h"
#include "smart/mSMARTCall.h"

#include <cerrno>

namespace {

/// Why a device could not be asked, in words a user can act on.
std::string reasonText(const std::error_code& error) {
    if (error == std::errc::no_such_file_or_directory) {
        return "no such device";
    }
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted) {
        return "permission denied: reading SMART data needs " +
               std::string(platform::smartRightsName());
    }
    if (error == std::errc::io_error) {
        return "the drive refused the SMART requests";
    }
    if (error) {
        return error.message();
    }
    return "the drive did not answer the SMART requests";
}

int report(const CommandLine& line, CommandStreams streams,
           const std::vector<SmartEntry>& entries) {
    streams.out << (line.json ? SmartJson(entries) : SmartText(entries));
    return kExitClean;
}

int runOneDevice(const CommandLine& line, CommandStreams streams, const std::string& path,
                 const SmartSystem& system) {
    std::error_code error;
    std::optional<platform::CheckedDrive> drive =
        platform::openSmartDrive(path, error, system.sysfs);
    if (!drive) {
        streams.err << "kesto: cannot query '" << PrintableName(path) << "': " << reasonText(error)
                    << '\n';
        return kExitError;
    }
    const std::string device = drive->slot().devicePath;
    const std::unique_ptr<platform::SmartDevice> asker =
        system.ask ? system.ask(std::move(*drive))
                   : std::make_unique<platform::SystemSmartDevice>(std::move(*drive));
    SmartEntry entry{path, device, mSMARTCall::GetDriveInfo(*asker, 0)};
    if (entry.info.DriveType == mSMARTDef::kNotPresent) {
        streams.err << "kesto: cannot query '" << PrintableName(path)
                    << "': " << reasonText(asker->lastError()) << '\n';
        return kExitError;
    }
    return report(line, streams, {entry});
}

} // namespace

int runSmart(const CommandLine& line, CommandStreams streams) {
    return runSmartWith(line, streams, {});
}

int runSmartWith(const CommandLine& line, CommandStreams streams, const SmartSystem& system) {
    if (line.operands.size() > 1) {
        return usageError(streams, "smart takes at most one DEVICE");
    }
    if (line.operands.size() == 1) {
        return runOneDevice(line, streams, line.operands.front(), system);
    }
    const std::vector<platform::SmartSlot> slots =
        system.slots ? system.slots() : platform::smartSlots(system.sysfs.block);
    std::vector<SmartEntry> entries;
    int code = kExitClean;
    for (int slot = 0; slot < mSMARTDef::kSlotCount; ++slot) {
        SmartEntry entry{
            std::string(mSMARTDef::kSlotNames[static_cast<std::size_t>(slot)]), {}, {}};
        if (static_cast<std::size_t>(slot) < slots.size()) {
            const platform::SmartSlot& found = slots[static_cast<std::size_t>(slot)];
            entry.device = found.devicePath;
            const std::unique_ptr<platform::SmartDevice> device =
                system.slotDevice
                    ? system.slotDevice(slots)
                    : std::make_unique<platform::SystemSmartDevice>(slots, system.sysfs);
            entry.info = mSMARTCall::GetDriveInfo(*device, slot);
            // A drive that is there but could not be asked is a failure, not an empty slot;
            // optical drives that know no SMART are the exception unless rights were missing.
            const std::error_code error = device->lastError();
            const bool noRights = error == std::errc::permission_denied ||
                                  error == std::errc::operation_not_permitted;
            if (entry.info.DriveType == mSMARTDef::kNotPresent &&
                (found.kind != platform::SmartKind::Optical || noRights)) {
                streams.err << "kesto: cannot query '" << PrintableName(found.devicePath)
                            << "': " << reasonText(error) << '\n';
                code = kExitError;
            }
        }
        entries.push_back(std::move(entry));
    }
    report(line, streams, entries);
    return code;
}
