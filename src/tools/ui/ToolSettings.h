#pragma once

#include "platform/SystemFacts.h"
#include "smart/mSMARTDef.h"
#include "tools/SystemInfo.h"
#include "tools/SystemPrograms.h"
#include "tools/modReg.h"

#include <array>
#include <functional>
#include <optional>
#include <string>

/// Where the tool windows get their facts. An empty member means the running system; tests
/// give their own.
struct ToolSettings {
    /// The folder that holds ReadMe.txt.
    std::string programFolder;
    std::function<std::array<SystemInfo::SystemRow, 3>()> systemRows;
    std::function<platform::MemoryStatus()> memoryStatus;
    std::function<SystemInfo::DriveReport()> driveReport;
    std::optional<SystemPrograms::Environment> programs;
    /// The disk health query of one drive slot.
    std::function<mSMARTDef::DriveInfo(int slot)> driveInfo;
    /// Where the USB lock reads and writes its rule (the system folders by default).
    modReg::Locations usbLock;
    /// The folder of the file encryption key; empty means the user's config folder.
    std::string keyFolder;
    /// The folder of the real-time guard's status file; empty means the system's.
    std::string guardStateFolder;
    /// Whether the memory refresh and the credits scroll tick by themselves; tests turn this off
    /// and call the timer handlers as the clock.
    bool timersTick = true;

    /// This settings object with every empty member filled in from the running system.
    ToolSettings resolved() const;
};
