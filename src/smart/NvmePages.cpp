#include "smart/NvmePages.h"

#include <string>

namespace NvmePages {

namespace {

std::string textAt(IdentifyPage page, std::size_t offset, std::size_t length) {
    const auto field = page.subspan(offset, length);
    return std::string(field.begin(), field.end());
}

std::uint64_t little64(HealthPage page, std::size_t offset) {
    std::uint64_t value = 0;
    for (std::size_t i = 8; i-- > 0;) {
        value = value << 8 | page[offset + i];
    }
    return value;
}

mSMARTDef::Counter128 counterAt(HealthPage page, std::size_t offset) {
    return {little64(page, offset), little64(page, offset + 8)};
}

} // namespace

void ParseIdentify(IdentifyPage page, mSMARTDef::DriveInfo& info) {
    info.SerialNumber = textAt(page, 4, 20);
    info.Model = textAt(page, 24, 40);
    info.FirmWare = textAt(page, 64, 8);
}

mSMARTDef::NvmeHealth ParseHealth(HealthPage page) {
    mSMARTDef::NvmeHealth health;
    health.CriticalWarning = page[0];
    health.TemperatureKelvin = static_cast<std::uint16_t>(page[1] | page[2] << 8);
    health.AvailableSpare = page[3];
    health.AvailableSpareThreshold = page[4];
    health.PercentageUsed = page[5];
    health.DataUnitsRead = counterAt(page, 32);
    health.DataUnitsWritten = counterAt(page, 48);
    health.PowerCycles = counterAt(page, 112);
    health.PowerOnHours = counterAt(page, 128);
    health.UnsafeShutdowns = counterAt(page, 144);
    health.MediaErrors = counterAt(page, 160);
    return health;
}

} // namespace NvmePages
