#include "scanner/DetectionActions.h"

#include "platform/FileOps.h"
#include "scanner/ProcessTable.h"
#include "scanner/ScanTexts.h"

#include <stdexcept>

namespace {

/// The last component of a path: the file's name as its folder lists it.
std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

} // namespace

ActionResult tindakan(std::string_view aksi, DetectionList& list,
                      const std::string& quarantineFolder, ActionObserver& observer) {
    const bool quarantine = aksi == kActionQuarantine;
    if (!quarantine && aksi != kActionDelete) {
        throw std::invalid_argument("unknown action: " + std::string(aksi));
    }
    ActionResult result;
    const std::size_t count = list.size();
    if (count == 0) {
        result.status = quarantine ? "There are no viruses are quaranted..."
                                   : "There is no virus that deleted...";
        result.messageTitle = "No Selected";
        return result;
    }

    const std::string folder =
        quarantineFolder.ends_with('/') ? quarantineFolder : quarantineFolder + "/";
    if (quarantine) {
        // A folder that cannot be created makes every move fail; the entries are handled anyway.
        platform::createFolders(quarantineFolder);
    }
    // Every step may fail (the file is gone, or a quarantined file of that name exists); the file
    // then stays where it is and its entry is still removed and counted.
    for (std::size_t k = 1; k <= count; ++k) {
        const std::size_t position = count - k + 1;
        const std::string location = list[position - 1].location;
        EndRunningProcess(location);
        platform::makeNormal(location);
        if (quarantine) {
            platform::moveFileNoReplace(location, folder + baseName(location) + "_vir");
        } else {
            platform::deleteFile(location);
        }
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(position - 1));
        observer.entryRemoved(position);
        const long long percent = ScanTexts::Percent(count, k).value_or(0);
        observer.progressChanged(static_cast<int>(percent), ScanTexts::PercentText(percent));
    }

    result.handled = count;
    result.status = quarantine ? std::to_string(count) + " Virus has been removed to a folder '" +
                                     folder + "' ..."
                               : std::to_string(count) + " Virus has been removed...";
    result.messageTitle = "Success";
    return result;
}
