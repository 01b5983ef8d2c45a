#include "tools/ui/ToolSettings.h"

#include "platform/FileCrypt.h"
#include "platform/Mounts.h"
#include "platform/ProgramFolder.h"
#include "smart/mSMARTCall.h"

ToolSettings ToolSettings::resolved() const {
    ToolSettings settings = *this;
    if (settings.programFolder.empty()) {
        settings.programFolder = platform::programFolder();
    }
    if (!settings.systemRows) {
        settings.systemRows = [] {
            return SystemInfo::SystemRows(platform::userName(), platform::windowsFolder(),
                                          platform::systemFolder());
        };
    }
    if (!settings.memoryStatus) {
        settings.memoryStatus = [] { return platform::memoryStatus(); };
    }
    if (!settings.driveReport) {
        settings.driveReport = [] {
            return SystemInfo::BuildDriveReport(platform::listDrives(), platform::querySpace);
        };
    }
    if (!settings.driveInfo) {
        settings.driveInfo = [](int slot) { return mSMARTCall::GetDriveInfo(slot); };
    }
    if (settings.keyFolder.empty()) {
        settings.keyFolder = platform::defaultKeyFolder();
    }
    if (!settings.programs) {
        settings.programs = SystemPrograms::SystemEnvironment();
    }
    return settings;
}
