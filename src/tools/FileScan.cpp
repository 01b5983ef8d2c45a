#include "tools/FileScan.h"

#include "engine/FileInspection.h"
#include "engine/KestoEngine.h"
#include "engine/SignatureDatabase.h"
#include "platform/PathText.h"
#include "platform/ReadBuffer.h"
#include "scanner/FileCheck.h"
#include "scanner/QuarantineFolder.h"
#include "scanner/WalkedFolder.h"

#include <memory>

namespace FileScan {

Report ScanFile(const std::string& path, const SignatureDatabase& database,
                const std::string& quarantineFolder) {
    Report report;
    const std::size_t slash = platform::lastPathSeparator(path);
    if (slash == std::string::npos || slash + 1 == path.size()) {
        report.problem = "not a file path";
        return report;
    }
    WalkedFile file;
    file.folder = path.substr(0, slash + 1);
    file.name = path.substr(slash + 1);
    auto handle = std::make_shared<platform::FolderHandle>();
    if (const std::error_code error = handle->openPath(file.folder)) {
        report.problem = error.message();
        return report;
    }
    platform::FileStamp stamp;
    if (const std::error_code error = handle->statFile(file.name, stamp)) {
        report.problem = error.message();
        return report;
    }
    file.size = stamp.size;
    // The folder without its final separator, except a root's own ("/", "C:\").
    const std::string folderPath =
        slash < platform::pathRootLength(path) ? file.folder : path.substr(0, slash);
    file.node = std::make_shared<WalkedFolder>(nullptr, folderPath, handle->id());
    file.handle = std::move(handle);

    platform::ReadBuffer buffer;
    const FileCheckResult result =
        CheckFile(file, FileCheckContext{database, quarantineFolder}, buffer);
    if (InQuarantine(file.folder, quarantineFolder)) {
        // Scans pass the quarantine by; its files are never reported again, nor called clean.
        report.problem = "it is in the quarantine folder";
    } else if (result.row) {
        report.threat = result.row->name;
    } else if (!result.unreadable.empty()) {
        report.problem = result.unreadable;
    } else if (!result.lookupFailure.empty()) {
        report.problem = result.lookupFailure;
    }
    const FileInspection inspection = InspectFile(path);
    report.checksum = inspection.checksum;
    report.type = inspection.type.value_or(std::string());
    return report;
}

Checker DefaultChecker() {
    auto database = std::make_shared<SignatureDatabase>(KestoEngine::DefaultDatabasePath());
    return [database](const std::string& path) {
        return ScanFile(path, *database, ResolveQuarantineFolder(DefaultQuarantineFolder()));
    };
}

std::string ResultText(const Report& report) {
    if (!report.threat.empty()) {
        return "Listed: " + report.threat;
    }
    if (!report.problem.empty()) {
        return "Not checked: " + report.problem;
    }
    return "Not listed";
}

std::string ReportText(const std::string& path, const Report& report) {
    return "File: " + path + "\nChecksum: " + report.checksum + "\nType: " + report.type +
           "\nResult: " + ResultText(report);
}

} // namespace FileScan
