#include "smart/HddTexts.h"

#include "platform/SmartDevice.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace HddTexts {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

std::string LeftAligned(std::string_view text, std::size_t width) {
    std::string out(text);
    if (out.size() < width) {
        out.append(width - out.size(), ' ');
    }
    return out;
}

std::string RightAligned(std::string_view text, std::size_t width) {
    std::string out;
    if (text.size() < width) {
        out.assign(width - text.size(), ' ');
    }
    out += text;
    return out;
}

/// "&H" and `value` in upper-case hexadecimal without leading zeros.
std::string HexText(std::uint32_t value) {
    std::array<char, 8> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value, 16).ptr;
    std::string out = "&H";
    for (const char* digit = digits.data(); digit != end; ++digit) {
        out += char(std::toupper(static_cast<unsigned char>(*digit)));
    }
    return out;
}

void AppendLine(std::string& out, std::string_view line) {
    out += line;
    out += kLineEnd;
}

void AppendIdentity(std::string& out, const mSMARTDef::DriveInfo& info) {
    AppendLine(out, "Model: " + TrimBlanks(info.Model));
    AppendLine(out, "FirmWare: " + TrimBlanks(info.FirmWare));
    AppendLine(out, "SerialNumber: " + TrimBlanks(info.SerialNumber));
}

/// The attribute records that exist, never more than the array holds.
std::span<const mSMARTDef::AttrData> Records(const mSMARTDef::DriveInfo& info) {
    const auto count = std::min<std::size_t>(info.NumAttributes, info.Attributes.size());
    return std::span(info.Attributes).first(count);
}

std::string AttributeTable(const mSMARTDef::DriveInfo& info) {
    std::string out = LeftAligned("Attribute Name", 24) + LeftAligned("Value", 7) +
                      LeftAligned("Threshold", 11) + LeftAligned("WorstValue", 12) + "Status";
    out += kLineEnd;
    AppendLine(out, std::string(60, '-'));
    for (const auto& attr : Records(info)) {
        const std::string value = RightAligned(std::to_string(attr.AttrValue), 3);
        out += LeftAligned(attr.AttrName, 25);
        // A name that fills its field keeps one blank before a value that fills its own.
        if (attr.AttrName.size() >= 25 && value.front() != ' ') {
            out += ' ';
        }
        out += value;
        out += "\t  ";
        out += RightAligned(std::to_string(attr.ThresholdValue), 3);
        out += '\t';
        out += RightAligned(std::to_string(attr.WorstValue), 8);
        out += '\t';
        out += RightAligned(HexText(attr.StatusFlags), 4);
        out += kLineEnd;
    }
    return out;
}

/// `decimal` (digits only) multiplied by `factor`.
std::string MultipliedDecimal(std::string_view decimal, std::uint32_t factor) {
    std::string out(decimal);
    std::uint64_t carry = 0;
    for (auto it = out.rbegin(); it != out.rend(); ++it) {
        const std::uint64_t product = std::uint64_t(*it - '0') * factor + carry;
        *it = char('0' + product % 10);
        carry = product / 10;
    }
    std::string prefix;
    for (; carry != 0; carry /= 10) {
        prefix.insert(prefix.begin(), char('0' + carry % 10));
    }
    out.insert(0, prefix);
    const auto firstDigit = out.find_first_not_of('0');
    return firstDigit == std::string::npos ? "0" : out.substr(firstDigit);
}

std::string DataUnits(const mSMARTDef::Counter128& units) {
    // A data unit is 1,000 sectors of 512 bytes.
    const std::string count = Decimal(units);
    const std::string bytes = count == "0" ? count : MultipliedDecimal(count, 512) + "000";
    return count + " (" + bytes + " bytes)";
}

std::string NvmeTable(const mSMARTDef::DriveInfo& info) {
    std::string out = LeftAligned("Health Item", 28) + "Value";
    out += kLineEnd;
    AppendLine(out, std::string(60, '-'));
    if (!info.Nvme) {
        return out;
    }
    const auto& health = *info.Nvme;
    const auto row = [&out](std::string_view name, const std::string& value) {
        AppendLine(out, LeftAligned(name, 28) + value);
    };
    row("Critical Warning", HexText(health.CriticalWarning));
    row("Temperature", health.TemperatureKelvin == 0
                           ? std::string("not reported")
                           : std::to_string(int(health.TemperatureKelvin) - 273) + " \u00B0C");
    row("Available Spare", std::to_string(health.AvailableSpare) + " %");
    row("Available Spare Threshold", std::to_string(health.AvailableSpareThreshold) + " %");
    row("Percentage Used", std::to_string(health.PercentageUsed) + " %");
    row("Data Units Read", DataUnits(health.DataUnitsRead));
    row("Data Units Written", DataUnits(health.DataUnitsWritten));
    row("Power Cycles", Decimal(health.PowerCycles));
    row("Power On Hours", Decimal(health.PowerOnHours));
    row("Unsafe Shutdowns", Decimal(health.UnsafeShutdowns));
    row("Media Errors", Decimal(health.MediaErrors));
    return out;
}

enum class Verdict { Ok, FailedInPast, FailingNow };

Verdict Judge(const mSMARTDef::AttrData& attr) {
    // A threshold of 0 means the drive never judges this attribute.
    if (attr.ThresholdValue == 0) {
        return Verdict::Ok;
    }
    if (attr.AttrValue <= attr.ThresholdValue) {
        return Verdict::FailingNow;
    }
    if (attr.WorstValue <= attr.ThresholdValue) {
        return Verdict::FailedInPast;
    }
    return Verdict::Ok;
}

std::string_view VerdictText(Verdict verdict) {
    switch (verdict) {
    case Verdict::FailingNow:
        return "FAILING NOW";
    case Verdict::FailedInPast:
        return "failed in the past";
    case Verdict::Ok:
        break;
    }
    return "OK";
}

constexpr std::array<std::string_view, 8> kWarningBits = {
    "available spare below threshold",
    "temperature out of range",
    "reliability degraded by media or internal errors",
    "media placed in read-only mode",
    "volatile memory backup failed",
    "persistent memory region read-only or unreliable",
    "reserved warning bit 6",
    "reserved warning bit 7",
};

std::vector<std::string_view> SetWarnings(std::uint8_t criticalWarning) {
    std::vector<std::string_view> set;
    for (std::size_t bit = 0; bit < kWarningBits.size(); ++bit) {
        if ((criticalWarning >> bit) & 1U) {
            set.push_back(kWarningBits[bit]);
        }
    }
    return set;
}

std::string Joined(const std::vector<std::string_view>& parts) {
    std::string out;
    for (const auto part : parts) {
        out += out.empty() ? "" : ", ";
        out += part;
    }
    return out;
}

std::string AttributeSummary(const mSMARTDef::DriveInfo& info) {
    const auto records = Records(info);
    if (records.empty()) {
        return "Health: unknown (no attributes read)";
    }
    std::vector<std::string_view> failing;
    std::vector<std::string_view> failedBefore;
    for (const auto& attr : records) {
        const Verdict verdict = Judge(attr);
        if (verdict == Verdict::FailingNow) {
            failing.push_back(attr.AttrName);
        } else if (verdict == Verdict::FailedInPast) {
            failedBefore.push_back(attr.AttrName);
        }
    }
    if (!failing.empty()) {
        return "Health: FAILING (" + Joined(failing) + ")";
    }
    if (!failedBefore.empty()) {
        return "Health: failed in the past (" + Joined(failedBefore) + ")";
    }
    return "Health: OK";
}

} // namespace

std::string TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string Decimal(const mSMARTDef::Counter128& value) {
    // Long division by 10 over four 32-bit limbs, most significant first.
    std::array<std::uint32_t, 4> limbs = {std::uint32_t(value.high >> 32),
                                          std::uint32_t(value.high), std::uint32_t(value.low >> 32),
                                          std::uint32_t(value.low)};
    std::string digits;
    do {
        std::uint64_t remainder = 0;
        for (auto& limb : limbs) {
            const std::uint64_t current = (remainder << 32) | limb;
            limb = std::uint32_t(current / 10);
            remainder = current % 10;
        }
        digits.insert(digits.begin(), char('0' + remainder));
    } while (std::any_of(limbs.begin(), limbs.end(), [](std::uint32_t limb) { return limb != 0; }));
    return digits;
}

std::string Header(std::string_view slotName, const mSMARTDef::DriveInfo& info) {
    std::string out(slotName);
    out += ": ";
    out += kLineEnd;
    switch (info.DriveType) {
    case mSMARTDef::kIdeDrive:
        AppendLine(out, "[IDE drive]");
        AppendIdentity(out, info);
        AppendLine(out, "Cilinders: " + std::to_string(info.Cilinders));
        AppendLine(out, "Heads: " + std::to_string(info.Heads));
        AppendLine(out, "SecPerTrack: " + std::to_string(info.SecPerTrack));
        break;
    case mSMARTDef::kAtapiDrive:
        out += "[ATAPI drive - info not available]";
        break;
    case mSMARTDef::kNvmeDrive:
        AppendLine(out, "[NVMe drive]");
        AppendIdentity(out, info);
        break;
    default:
        out += "[Not present]";
        break;
    }
    return out;
}

std::string Table(const mSMARTDef::DriveInfo& info) {
    switch (info.DriveType) {
    case mSMARTDef::kIdeDrive:
        return AttributeTable(info);
    case mSMARTDef::kNvmeDrive:
        return NvmeTable(info);
    default:
        return {};
    }
}

std::string Verdicts(const mSMARTDef::DriveInfo& info) {
    std::string out;
    if (info.DriveType == mSMARTDef::kIdeDrive) {
        for (const auto& attr : Records(info)) {
            AppendLine(out, RightAligned(std::to_string(attr.AttrID), 3) + " " +
                                LeftAligned(attr.AttrName, 28) + " " +
                                LeftAligned(VerdictText(Judge(attr)), 19) + "raw " +
                                std::to_string(attr.RawValue));
        }
    } else if (info.DriveType == mSMARTDef::kNvmeDrive && info.Nvme) {
        for (const auto warning : SetWarnings(info.Nvme->CriticalWarning)) {
            AppendLine(out, "Critical warning: " + std::string(warning));
        }
    }
    return out;
}

std::string HealthLine(const mSMARTDef::DriveInfo& info) {
    switch (info.DriveType) {
    case mSMARTDef::kIdeDrive:
    case mSMARTDef::kNvmeDrive:
        return HealthSummary(info);
    case mSMARTDef::kAtapiDrive:
        return "Health: not reported (ATAPI drive)";
    default:
        return "Health: no drive in this slot";
    }
}

std::string VerdictsOrReason(const mSMARTDef::DriveInfo& info) {
    std::string out = Verdicts(info);
    if (!out.empty()) {
        return out;
    }
    switch (info.DriveType) {
    case mSMARTDef::kIdeDrive:
        AppendLine(out, "The drive returned no SMART attributes to judge.");
        break;
    case mSMARTDef::kNvmeDrive:
        AppendLine(out, info.Nvme ? "No critical warning is set."
                                  : "The drive's health log could not be read.");
        break;
    case mSMARTDef::kAtapiDrive:
        AppendLine(out, "ATAPI drives (optical drives) report no SMART health data.");
        break;
    default:
        AppendLine(out, "No drive answered in this slot, so there is no health data.");
        AppendLine(out,
                   "Reading the drives needs " + std::string(platform::smartRightsName()) + ".");
        break;
    }
    return out;
}

std::string HealthSummary(const mSMARTDef::DriveInfo& info) {
    switch (info.DriveType) {
    case mSMARTDef::kIdeDrive:
        return AttributeSummary(info);
    case mSMARTDef::kNvmeDrive: {
        if (!info.Nvme) {
            return "Health: unknown (health log not read)";
        }
        const auto warnings = SetWarnings(info.Nvme->CriticalWarning);
        return warnings.empty() ? "Health: OK" : "Health: WARNING (" + Joined(warnings) + ")";
    }
    default:
        return {};
    }
}

} // namespace HddTexts
