#include "cli/SmartReport.h"

#include "cli/JsonText.h"
#include "scanner/PrintableName.h"
#include "smart/HddTexts.h"

#include <array>

namespace {

std::string withLineFeeds(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            out += text[i];
        }
    }
    return out;
}

std::string_view typeName(std::uint8_t type) {
    static constexpr std::array<std::string_view, 4> names = {"not present", "ide", "atapi",
                                                              "nvme"};
    return type < names.size() ? names[type] : "unknown";
}

std::string attributesJson(const mSMARTDef::DriveInfo& info) {
    std::string out = "[";
    const char* separator = "\n";
    for (std::size_t i = 0; i < info.NumAttributes && i < info.Attributes.size(); ++i) {
        const mSMARTDef::AttrData& attr = info.Attributes[i];
        out += separator;
        out += "        {\"id\": " + std::to_string(attr.AttrID) +
               ", \"name\": " + JsonString(attr.AttrName) +
               ", \"value\": " + std::to_string(attr.AttrValue) +
               ", \"threshold\": " + std::to_string(attr.ThresholdValue) +
               ", \"worst\": " + std::to_string(attr.WorstValue) +
               ", \"flags\": " + std::to_string(attr.StatusFlags) +
               ", \"raw\": " + std::to_string(attr.RawValue) + "}";
        separator = ",\n";
    }
    return out + (info.NumAttributes == 0 ? "]" : "\n      ]");
}

std::string nvmeJson(const mSMARTDef::NvmeHealth& health) {
    const auto counter = [](const mSMARTDef::Counter128& value) {
        return JsonString(HddTexts::Decimal(value));
    };
    return "{\"criticalWarning\": " + std::to_string(health.CriticalWarning) +
           ", \"temperatureKelvin\": " + std::to_string(health.TemperatureKelvin) +
           ", \"availableSpare\": " + std::to_string(health.AvailableSpare) +
           ", \"availableSpareThreshold\": " + std::to_string(health.AvailableSpareThreshold) +
           ", \"percentageUsed\": " + std::to_string(health.PercentageUsed) +
           ", \"dataUnitsRead\": " + counter(health.DataUnitsRead) +
           ", \"dataUnitsWritten\": " + counter(health.DataUnitsWritten) +
           ", \"powerCycles\": " + counter(health.PowerCycles) +
           ", \"powerOnHours\": " + counter(health.PowerOnHours) +
           ", \"unsafeShutdowns\": " + counter(health.UnsafeShutdowns) +
           ", \"mediaErrors\": " + counter(health.MediaErrors) + "}";
}

std::string driveJson(const SmartEntry& entry) {
    const mSMARTDef::DriveInfo& info = entry.info;
    std::string out = "    {\"name\": " + JsonString(entry.name) + ",\n     \"device\": " +
                      (entry.device.empty() ? "null" : JsonString(entry.device)) +
                      ",\n     \"type\": " + JsonString(typeName(info.DriveType));
    if (info.DriveType == mSMARTDef::kNotPresent || info.DriveType == mSMARTDef::kAtapiDrive) {
        return out + "}";
    }
    out += ",\n     \"model\": " + JsonString(HddTexts::TrimBlanks(info.Model)) +
           ",\n     \"firmware\": " + JsonString(HddTexts::TrimBlanks(info.FirmWare)) +
           ",\n     \"serial\": " + JsonString(HddTexts::TrimBlanks(info.SerialNumber));
    if (info.DriveType == mSMARTDef::kIdeDrive) {
        out += ",\n     \"cylinders\": " + std::to_string(info.Cilinders) +
               ", \"heads\": " + std::to_string(info.Heads) +
               ", \"sectorsPerTrack\": " + std::to_string(info.SecPerTrack) +
               ",\n     \"attributes\": " + attributesJson(info);
    } else {
        out += ",\n     \"health\": " + (info.Nvme ? nvmeJson(*info.Nvme) : std::string("null"));
    }
    return out + ",\n     \"summary\": " + JsonString(HddTexts::HealthSummary(info)) + "}";
}

} // namespace

std::string SmartText(const std::vector<SmartEntry>& entries) {
    std::string out;
    for (const SmartEntry& entry : entries) {
        if (!out.empty()) {
            out += '\n';
        }
        // The name, the device and what the drive says about itself are shown as printable
        // names: none of them can add a line of its own or reach the terminal's controls.
        mSMARTDef::DriveInfo shown = entry.info;
        shown.Model = PrintableName(shown.Model);
        shown.FirmWare = PrintableName(shown.FirmWare);
        shown.SerialNumber = PrintableName(shown.SerialNumber);
        out += withLineFeeds(HddTexts::Header(PrintableName(entry.name), shown));
        if (!out.ends_with('\n')) {
            out += '\n';
        }
        if (!entry.device.empty() && entry.device != entry.name) {
            out += "Device: " + PrintableName(entry.device) + '\n';
        }
        out += withLineFeeds(HddTexts::Table(entry.info));
        const std::string verdicts = HddTexts::Verdicts(entry.info);
        if (!verdicts.empty()) {
            out += '\n' + withLineFeeds(verdicts);
        }
        const std::string summary = HddTexts::HealthSummary(entry.info);
        if (!summary.empty()) {
            out += summary + '\n';
        }
    }
    return out;
}

std::string SmartJson(const std::vector<SmartEntry>& entries) {
    std::string out = "{\n  \"drives\": [";
    const char* separator = "\n";
    for (const SmartEntry& entry : entries) {
        out += separator + driveJson(entry);
        separator = ",\n";
    }
    return out + (entries.empty() ? "]\n}\n" : "\n  ]\n}\n");
}
